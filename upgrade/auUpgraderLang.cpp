#include "upgrade/auUpgraderLang.h"

#include "http/auText.h"
#include "platform/ProcessLocale.h"

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>

namespace {

std::uint16_t CurrentLangBase = 0;

// The tables are read once, on first use, from the compiled-in resources:
// one file per language ({"language": L, "messages": {"k": text}}) and
// common.json for the identifiers outside the language blocks.
QHash<int, QString> LoadTable()
{
    QHash<int, QString> table;
    QDirIterator files(QStringLiteral(":/upgrade/messages"), {QStringLiteral("*.json")}, QDir::Files);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        const int language = root.value(QLatin1String("language")).toInt();
        const QJsonObject messages = root.value(QLatin1String("messages")).toObject();
        for (auto it = messages.begin(); it != messages.end(); ++it) {
            bool ok = false;
            const int k = it.key().toInt(&ok);
            if (ok && k >= 0 && k < LanguageBlockSize && language >= 1 && language <= UpgraderLanguageCount)
                table.insert(LangBaseOf(static_cast<TauUpgraderLanguage>(language)) + k, it.value().toString());
        }
        const QJsonObject strings = root.value(QLatin1String("strings")).toObject();
        for (auto it = strings.begin(); it != strings.end(); ++it) {
            bool ok = false;
            const int id = it.key().toInt(&ok);
            if (ok)
                table.insert(id, it.value().toString());
        }
    }
    return table;
}

const QHash<int, QString>& Table()
{
    static const QHash<int, QString> table = LoadTable();
    return table;
}

// ISO 639 codes of the table's languages in table order, so the first match
// wins as it does for the Windows primary language ids they stand for.
struct TLocaleLanguage {
    std::string_view Code;
    TauUpgraderLanguage Language;
};
constexpr TLocaleLanguage LocaleLanguages[] = {
    {"en", wlEnglish},    {"ru", wlRussian},   {"de", wlGerman},     {"fr", wlFrench},
    {"es", wlSpanish},    {"pt", wlPortuguese}, {"it", wlItalian},   {"nl", wlDutch},
    {"da", wlDanish},     {"sv", wlSwedish},   {"fi", wlFinnish},    {"et", wlEstonian},
    {"uk", wlUkrainian},  {"cs", wlCzech},     {"hu", wlHungarian},  {"ro", wlRomanian},
    {"ca", wlCatalan},    {"eu", wlBasque},    {"af", wlAfrikaans},  {"zh", wlChineseTraditional},
    {"id", wlIndonesian}, {"ms", wlMalay},     {"is", wlIcelandic},
};

// "de_DE.UTF-8@euro" -> "de_DE": the codeset and modifier say nothing of the
// language or the numbers.
std::string_view LocaleBaseName(std::string_view name)
{
    return name.substr(0, name.find_first_of(".@"));
}

QString DecimalSeparator()
{
    const std::string name(LocaleBaseName(platform::ProcessLocaleName(platform::TLocaleCategory::Numeric)));
    if (name.empty() || name == "C" || name == "POSIX")
        return QStringLiteral(".");
    const QLocale locale(QString::fromStdString(name));
    return locale.language() == QLocale::C ? QStringLiteral(".") : locale.decimalPoint();
}

} // namespace

QString UpgraderString(int Id)
{
    return Table().value(Id);
}

std::uint16_t LangBaseOf(TauUpgraderLanguage L)
{
    if (L < wlEnglish || L > wlIcelandic)
        return 0;
    return static_cast<std::uint16_t>(FirstMessageId + LanguageBlockSize * (L - 1));
}

std::uint16_t LangBase()
{
    return CurrentLangBase;
}

QString LangStr(int k)
{
    return UpgraderString(CurrentLangBase + k);
}

TauUpgraderLanguage LanguageOfLocale(std::string_view LocaleName)
{
    const std::string_view name = LocaleBaseName(LocaleName);
    const std::size_t sep = name.find('_');
    const std::string language = LowerCase(name.substr(0, sep));
    const std::string territory = sep == std::string_view::npos ? std::string() : LowerCase(name.substr(sep + 1));
    if (language == "pt")
        return territory == "br" ? wlPortugueseBrazilian : wlPortuguese;
    if (language == "zh")
        return territory == "cn" ? wlChineseSimplified : wlChineseTraditional;
    for (const TLocaleLanguage& entry : LocaleLanguages)
        if (entry.Code == language)
            return entry.Language;
    return wlEnglish;
}

TauUpgraderLanguage ChooseUpgraderLanguage(TauUpgraderLanguage Value)
{
    TauUpgraderLanguage language = Value;
    if (Value == wlAuto)
        language = LanguageOfLocale(platform::ProcessLocaleName(platform::TLocaleCategory::Messages));
    else if (Value > wlIcelandic)
        language = wlEnglish;
    CurrentLangBase = LangBaseOf(language);
    return language;
}

QString TLangArg::Text() const
{
    if (const QString* text = std::get_if<QString>(&FValue))
        return *text;
    if (const long long* number = std::get_if<long long>(&FValue))
        return QString::number(*number);
    return QString::number(std::get<double>(FValue));
}

long long TLangArg::Integer() const
{
    if (const long long* number = std::get_if<long long>(&FValue))
        return *number;
    if (const double* real = std::get_if<double>(&FValue))
        return std::isfinite(*real) && std::fabs(*real) < 9.2e18 ? static_cast<long long>(*real) : 0;
    return std::get<QString>(FValue).toLongLong();
}

double TLangArg::Real() const
{
    if (const double* real = std::get_if<double>(&FValue))
        return *real;
    if (const long long* number = std::get_if<long long>(&FValue))
        return static_cast<double>(*number);
    return std::get<QString>(FValue).toDouble();
}

QString FormatUpgraderText(const QString& Pattern, std::initializer_list<TLangArg> Args)
{
    QString result;
    auto arg = Args.begin();
    const qsizetype length = Pattern.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = Pattern.at(i);
        if (c != u'%' || i + 1 >= length) {
            result += c;
            continue;
        }
        if (Pattern.at(i + 1) == u'%') {
            result += u'%';
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        int precision = -1;
        if (Pattern.at(j) == u'.') {
            precision = 0;
            ++j;
            while (j < length && Pattern.at(j).isDigit() && precision < 100)
                precision = precision * 10 + Pattern.at(j++).digitValue();
        }
        const QChar kind = j < length ? Pattern.at(j) : QChar();
        if (kind != u's' && kind != u'd' && kind != u'f') {
            result += c;
            continue;
        }
        i = j;
        if (arg == Args.end())
            continue;
        const TLangArg& value = *arg++;
        if (kind == u's') {
            result += value.Text();
        } else if (kind == u'd') {
            const long long number = value.Integer();
            // Built from the magnitude as unsigned so the smallest value has
            // a sign and digits too.
            const unsigned long long magnitude =
                number < 0 ? 0ULL - static_cast<unsigned long long>(number) : static_cast<unsigned long long>(number);
            QString digits = QString::number(magnitude);
            if (precision > digits.size())
                digits.prepend(QString(precision - digits.size(), u'0'));
            result += (number < 0 ? QStringLiteral("-") : QString()) + digits;
        } else {
            QString number = QString::number(value.Real(), 'f', precision < 0 ? 2 : precision);
            number.replace(u'.', DecimalSeparator());
            result += number;
        }
    }
    return result;
}
