#include "skins/sSkinData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtDebug>

#include <algorithm>

namespace {

QColor ReadColour(const QJsonValue& value)
{
    return value.isString() ? QColor::fromString(value.toString()) : QColor();
}

QList<QColor> ReadFill(const QJsonValue& value)
{
    QList<QColor> fill;
    if (value.isString()) {
        fill.append(ReadColour(value));
    } else {
        for (const QJsonValue& stop : value.toArray())
            fill.append(ReadColour(stop));
    }
    fill.removeIf([](const QColor& c) { return !c.isValid(); });
    return fill;
}

TSkinSection ReadSection(const QJsonObject& o)
{
    TSkinSection s;
    s.Fill = ReadFill(o.value(QLatin1String("Fill")));
    s.HotFill = ReadFill(o.value(QLatin1String("HotFill")));
    s.DownFill = ReadFill(o.value(QLatin1String("DownFill")));
    s.SelFill = ReadFill(o.value(QLatin1String("SelFill")));
    s.Text = ReadColour(o.value(QLatin1String("Text")));
    s.SelText = ReadColour(o.value(QLatin1String("SelText")));
    s.Border = ReadColour(o.value(QLatin1String("Border")));
    s.Light = ReadColour(o.value(QLatin1String("Light")));
    s.Focus = ReadColour(o.value(QLatin1String("Focus")));
    s.Pane = ReadColour(o.value(QLatin1String("Pane")));
    s.Separator = ReadColour(o.value(QLatin1String("Separator")));
    s.Radius = std::clamp(o.value(QLatin1String("Radius")).toInt(), 0, 12);
    s.Width = std::clamp(o.value(QLatin1String("Width")).toInt(), 0, 64);
    const QJsonObject font = o.value(QLatin1String("Font")).toObject();
    s.Font.Family = font.value(QLatin1String("Family")).toString();
    s.Font.Pixels = std::clamp(font.value(QLatin1String("Pixels")).toInt(), 0, 48);
    s.Font.Bold = font.value(QLatin1String("Bold")).toBool();
    s.Image = o.value(QLatin1String("Image")).toString();
    // A texture must stay inside the skin's folder.
    if (s.Image.contains(QLatin1Char('/')) || s.Image.contains(QLatin1Char('\\')))
        s.Image.clear();
    return s;
}

QColor Shifted(const QColor& c, int hue, int saturation)
{
    if (!c.isValid() || (hue == 0 && saturation == 0))
        return c;
    QColor hsv = c.toHsv();
    const int h = hsv.hsvHue() < 0 ? -1 : (hsv.hsvHue() + hue % 360 + 360) % 360;
    const int s = std::clamp(hsv.hsvSaturation() + hsv.hsvSaturation() * saturation / 100, 0, 255);
    return QColor::fromHsv(h, s, hsv.value(), c.alpha()).toRgb();
}

} // namespace

bool TSkinData::Load(const QString& folder, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    QFile file(folder + QStringLiteral("/skin.json"));
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read ") + file.fileName());
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject())
        return fail(file.fileName() + QStringLiteral(": ") + parseError.errorString());
    const QJsonObject root = doc.object();
    const QString name = root.value(QLatin1String("Name")).toString().trimmed();
    if (name.isEmpty())
        return fail(file.fileName() + QStringLiteral(": no Name"));
    std::map<QString, TSkinSection> sections;
    const QJsonObject json = root.value(QLatin1String("Sections")).toObject();
    for (auto it = json.begin(); it != json.end(); ++it)
        sections[it.key().toUpper()] = ReadSection(it.value().toObject());
    for (const QString& required : RequiredSkinSections())
        if (!sections.count(required))
            return fail(file.fileName() + QStringLiteral(": no section ") + required);
    Name = name;
    Order = root.value(QLatin1String("Order")).toInt();
    Folder = folder;
    FSections = std::move(sections);
    return true;
}

const TSkinSection* TSkinData::Section(const QString& name) const
{
    const auto it = FSections.find(name);
    return it == FSections.end() ? nullptr : &it->second;
}

QStringList TSkinData::SectionNames() const
{
    QStringList names;
    for (const auto& entry : FSections)
        names.append(entry.first);
    return names;
}

QString TSkinData::ImagePath(const QString& file, qreal ratio) const
{
    if (file.isEmpty())
        return {};
    const QString plain = Folder + QLatin1Char('/') + file;
    if (ratio >= 1.5) {
        const QFileInfo info(plain);
        const QString doubled = info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("@2x.") + info.suffix();
        if (QFileInfo::exists(doubled))
            return doubled;
    }
    return plain;
}

void TSkinData::ShiftColours(int hue, int saturation)
{
    if (hue == 0 && saturation == 0)
        return;
    for (auto& [name, s] : FSections) {
        for (QList<QColor>* fill : {&s.Fill, &s.HotFill, &s.DownFill, &s.SelFill})
            for (QColor& c : *fill)
                c = Shifted(c, hue, saturation);
        for (QColor* c : {&s.Text, &s.SelText, &s.Border, &s.Light, &s.Focus, &s.Pane, &s.Separator})
            *c = Shifted(*c, hue, saturation);
    }
}

const QStringList& RequiredSkinSections()
{
    static const QStringList sections = {
        QStringLiteral("FORM"),        QStringLiteral("DIALOG"),   QStringLiteral("PANEL"),
        QStringLiteral("LABEL"),       QStringLiteral("EDIT"),     QStringLiteral("BUTTON"),
        QStringLiteral("PAGECONTROL"), QStringLiteral("STATUSBAR"), QStringLiteral("GROUPBOX"),
        QStringLiteral("PROGRESSBAR"), QStringLiteral("CHECKBOX"), QStringLiteral("MENU"),
        QStringLiteral("ICOLINE"),     QStringLiteral("HINT"),
    };
    return sections;
}

std::vector<TSkinData> LoadSkins(const QString& root)
{
    std::vector<TSkinData> skins;
    const QDir dir(root);
    for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        TSkinData skin;
        QString error;
        if (skin.Load(dir.filePath(sub), &error))
            skins.push_back(std::move(skin));
        else
            qWarning().noquote() << "Skin left out:" << error;
    }
    std::stable_sort(skins.begin(), skins.end(), [](const TSkinData& a, const TSkinData& b) {
        return a.Order != b.Order ? a.Order < b.Order : a.Name < b.Name;
    });
    return skins;
}

QColor FillColourAt(const QList<QColor>& fill, qreal fraction)
{
    if (fill.isEmpty())
        return {};
    if (fill.size() == 1)
        return fill.front();
    const qreal pos = std::clamp(fraction, 0.0, 1.0) * (fill.size() - 1);
    const int i = std::min(static_cast<int>(pos), static_cast<int>(fill.size()) - 2);
    const qreal t = pos - i;
    const QColor& a = fill[i];
    const QColor& b = fill[i + 1];
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}
