#include "skins/sSkinStyle.h"

#include "platform/DesignFonts.h"
#include "skins/sSkinSectionProperty.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStatusBar>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTabBar>

#include <algorithm>
#include <cmath>

namespace {

// Marks what polish changed on a widget, so unpolish undoes only that.
constexpr char FontMark[] = "sSkinFont";
constexpr char PaletteMark[] = "sSkinPalette";
constexpr char FilterMark[] = "sSkinPaints";
constexpr char IndentMark[] = "sSkinIndent";

// Paints in the device's own pixels: rectangles snap to whole pixels and a
// hairline stays one pixel wide, so borders neither blur nor drift at 150 %.
class TDevicePixels {
public:
    TDevicePixels(QPainter* painter, const QRect& logical)
        : P(painter)
    {
        P->save();
        const QTransform device = P->deviceTransform();
        Ratio = device.m11() > 0 ? device.m11() : 1.0;
        const QRectF r = device.mapRect(QRectF(logical));
        Rect = QRect(QPoint(qRound(r.left()), qRound(r.top())), QPoint(qRound(r.right()) - 1, qRound(r.bottom()) - 1));
        // deviceTransform = world * rest, so this world transform leaves
        // device pixels as they are.
        P->setWorldTransform(device.inverted() * P->worldTransform());
        P->setRenderHint(QPainter::Antialiasing, true);
        Line = std::max(1, static_cast<int>(Ratio + 0.25));
    }
    ~TDevicePixels() { P->restore(); }
    TDevicePixels(const TDevicePixels&) = delete;
    TDevicePixels& operator=(const TDevicePixels&) = delete;

    int Px(qreal logical) const { return static_cast<int>(std::lround(logical * Ratio)); }

    QPainter* P;
    QRect Rect;
    qreal Ratio = 1.0;
    int Line = 1;
};

QBrush FillBrush(const QList<QColor>& fill, const QRectF& r)
{
    if (fill.isEmpty())
        return Qt::NoBrush;
    if (fill.size() == 1)
        return fill.front();
    QLinearGradient gradient(r.topLeft(), r.bottomLeft());
    for (int i = 0; i < fill.size(); ++i)
        gradient.setColorAt(static_cast<qreal>(i) / (fill.size() - 1), fill[i]);
    return gradient;
}

const QList<QColor>& Either(const QList<QColor>& first, const QList<QColor>& second)
{
    return first.isEmpty() ? second : first;
}

QColor Either(const QColor& first, const QColor& second)
{
    return first.isValid() ? first : second;
}

QColor Mix(const QColor& a, const QColor& b, qreal t)
{
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

QList<QColor> Faded(const QList<QColor>& fill, const QColor& towards)
{
    QList<QColor> faded;
    for (const QColor& c : fill)
        faded.append(Mix(c, towards, 0.55));
    return faded;
}

// A box whose outer edge is r (device pixels): fill, border of width line,
// and an optional light line just inside the border.
void DrawBox(QPainter* p, const QRect& r, const QBrush& fill, const QColor& border, int radius, int line,
             const QColor& light = QColor())
{
    const QRectF outer(r.x(), r.y(), r.width(), r.height());
    p->setPen(Qt::NoPen);
    if (fill.style() != Qt::NoBrush) {
        p->setBrush(fill);
        p->drawRoundedRect(outer, radius, radius);
    }
    p->setBrush(Qt::NoBrush);
    if (light.isValid()) {
        p->setPen(QPen(light, line));
        const qreal in = line * 1.5;
        p->drawRoundedRect(outer.adjusted(in, in, -in, -in), std::max(0, radius - line), std::max(0, radius - line));
    }
    if (border.isValid()) {
        p->setPen(QPen(border, line));
        const qreal half = line / 2.0;
        p->drawRoundedRect(outer.adjusted(half, half, -half, -half), radius, radius);
    }
}

void HLine(QPainter* p, int x1, int x2, int y, const QColor& c, int line)
{
    if (c.isValid())
        p->fillRect(QRect(x1, y, x2 - x1 + 1, line), c);
}

void VLine(QPainter* p, int x, int y1, int y2, const QColor& c, int line)
{
    if (c.isValid())
        p->fillRect(QRect(x, y1, line, y2 - y1 + 1), c);
}

void DrawCheck(QPainter* p, const QRect& r, const QColor& c, int line)
{
    QPainterPath path;
    path.moveTo(r.left() + r.width() * 0.18, r.top() + r.height() * 0.52);
    path.lineTo(r.left() + r.width() * 0.42, r.top() + r.height() * 0.76);
    path.lineTo(r.left() + r.width() * 0.82, r.top() + r.height() * 0.26);
    p->setPen(QPen(c, std::max(1.5, line * 1.8), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p->setBrush(Qt::NoBrush);
    p->drawPath(path);
}

bool IsStatusPanel(const QWidget* w)
{
    if (!qobject_cast<const QLabel*>(w))
        return false;
    int depth = 0;
    for (const QWidget* up = w->parentWidget(); up && depth < 3; up = up->parentWidget(), ++depth)
        if (qobject_cast<const QStatusBar*>(up))
            return true;
    return false;
}

bool IsTipLabel(const QWidget* w)
{
    return w && w->inherits("QTipLabel");
}

} // namespace

TsSkinStyle::TsSkinStyle(TSkinData skin, TsSkinOptions options)
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
    , FSkin(std::move(skin))
    , FOptions(std::move(options))
{
    setObjectName(QStringLiteral("sSkinStyle"));
}

const TSkinSection& TsSkinStyle::Sec(const QString& name) const
{
    const TSkinSection* s = FSkin.Section(name);
    return s ? *s : FEmpty;
}

const TSkinSection* TsSkinStyle::SectionFor(const QWidget* widget, const QString& fallback) const
{
    if (const QString own = SkinSectionOf(widget); !own.isEmpty())
        if (const TSkinSection* s = FSkin.Section(own))
            return s;
    const QString kind = DefaultSkinSection(widget);
    if (kind == QLatin1String("FORM"))
        return FOptions.Rules.testFlag(srStdForms) ? FSkin.Section(kind) : nullptr;
    if (kind == QLatin1String("DIALOG"))
        return FOptions.Rules.testFlag(srStdDialogs) ? FSkin.Section(kind) : nullptr;
    if (!FOptions.Rules.testFlag(srThirdParty))
        return nullptr;
    return FSkin.Section(fallback.isEmpty() ? kind : fallback);
}

const QPixmap& TsSkinStyle::Texture(const QString& file, qreal ratio) const
{
    const QString path = FSkin.ImagePath(file, ratio);
    auto it = FTextures.find(path);
    if (it == FTextures.end())
        it = FTextures.insert(path, QPixmap(path));
    return *it;
}

QPalette TsSkinStyle::standardPalette() const
{
    const TSkinSection& form = Sec(QStringLiteral("FORM"));
    const TSkinSection& edit = Sec(QStringLiteral("EDIT"));
    const TSkinSection& button = Sec(QStringLiteral("BUTTON"));
    const TSkinSection& hint = Sec(QStringLiteral("HINT"));
    const QColor window = Either(FillColourAt(form.Fill, 0.5), QColor(0xf0f0f0));
    const QColor windowText = Either(form.Text, Qt::black);
    const QColor base = Either(FillColourAt(edit.Fill, 0.5), Qt::white);
    const QColor text = Either(edit.Text, Qt::black);
    // The face colour that windows use for plain surfaces (a read-only field
    // on a dialog, say): the window's, with a touch of the buttons' tint.
    const QColor buttonColour = Mix(window, Either(FillColourAt(button.Fill, 0.5), window), 0.3);
    const QColor buttonText = Either(button.Text, windowText);
    const QColor dark = Either(button.Border, window.darker(160));

    QPalette pal(windowText, buttonColour, Either(button.Light, Qt::white), dark, Mix(buttonColour, dark, 0.5), text,
                 Qt::white, base, window);
    pal.setColor(QPalette::ButtonText, buttonText);
    pal.setColor(QPalette::Midlight, Mix(buttonColour, Qt::white, 0.5));
    pal.setColor(QPalette::Shadow, dark.darker(150));
    pal.setColor(QPalette::AlternateBase, Mix(base, window, 0.35));
    pal.setColor(QPalette::Highlight, Either(FillColourAt(edit.SelFill, 0.5), QColor(0x3875d7)));
    pal.setColor(QPalette::HighlightedText, Either(edit.SelText, Qt::white));
    pal.setColor(QPalette::ToolTipBase, Either(FillColourAt(hint.Fill, 0.5), QColor(0xffffe1)));
    pal.setColor(QPalette::ToolTipText, Either(hint.Text, Qt::black));
    pal.setColor(QPalette::Link, Either(edit.Focus, QColor(0x0645ad)));
    QColor placeholder = text;
    placeholder.setAlphaF(0.5);
    pal.setColor(QPalette::PlaceholderText, placeholder);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, Mix(pal.color(role), window, 0.55));
    pal.setColor(QPalette::Disabled, QPalette::Base, window);
    return pal;
}

void TsSkinStyle::polish(QPalette& palette)
{
    palette = standardPalette();
}

void TsSkinStyle::polish(QWidget* widget)
{
    QProxyStyle::polish(widget);
    if (!widget)
        return;

    if (IsTipLabel(widget)) {
        if (FOptions.Hint && FOptions.Hint->Style == hsEllipse) {
            widget->installEventFilter(this);
            widget->setProperty(FilterMark, true);
        }
        return;
    }

    const TSkinSection* section = nullptr;
    if (qobject_cast<QTabBar*>(widget)) {
        widget->setAttribute(Qt::WA_Hover);
        section = SectionFor(widget, QStringLiteral("PAGECONTROL"));
    } else if (qobject_cast<QMenu*>(widget)) {
        section = SectionFor(widget, QStringLiteral("MENU"));
    }
    // Tabs and menus take their font from the skin, unless the program
    // gave that very widget a font of its own.
    if (section && section->Font.IsSet() && !widget->testAttribute(Qt::WA_SetFont)) {
        widget->setFont(DesignFont(section->Font.Family, section->Font.Pixels, section->Font.Bold));
        widget->setProperty(FontMark, true);
    }

    const QString own = SkinSectionOf(widget);
    const bool window = !DefaultSkinSection(widget).isEmpty() && widget->isWindow() &&
                        (widget->windowType() == Qt::Window || widget->windowType() == Qt::Dialog) &&
                        !qobject_cast<QMenu*>(widget);
    const bool plainPanel = !own.isEmpty() && DefaultSkinSection(widget).isEmpty() && !widget->isWindow();
    const bool statusPanel = IsStatusPanel(widget);
    if ((window && SectionFor(widget, {})) || plainPanel || statusPanel) {
        widget->installEventFilter(this);
        widget->setProperty(FilterMark, true);
    }
    // Text in a status panel keeps clear of the etched line before it.
    if (auto* label = qobject_cast<QLabel*>(widget); statusPanel && label->indent() < 0) {
        label->setIndent(4);
        label->setProperty(IndentMark, true);
    }

    // Containers pass their section's text colour on to their labels.
    const TSkinSection* container = nullptr;
    if (plainPanel || qobject_cast<QStatusBar*>(widget))
        container = SectionFor(widget, QStringLiteral("STATUSBAR"));
    if (container && container->Text.isValid() && !widget->testAttribute(Qt::WA_SetPalette)) {
        QPalette pal = widget->palette();
        pal.setColor(QPalette::WindowText, container->Text);
        widget->setPalette(pal);
        widget->setProperty(PaletteMark, true);
    }
}

void TsSkinStyle::unpolish(QWidget* widget)
{
    if (widget) {
        if (widget->property(FilterMark).toBool()) {
            widget->removeEventFilter(this);
            widget->setProperty(FilterMark, QVariant());
        }
        if (widget->property(IndentMark).toBool()) {
            if (auto* label = qobject_cast<QLabel*>(widget))
                label->setIndent(-1);
            widget->setProperty(IndentMark, QVariant());
        }
        if (widget->property(FontMark).toBool()) {
            widget->setFont(QFont());
            widget->setProperty(FontMark, QVariant());
        }
        if (widget->property(PaletteMark).toBool()) {
            widget->setPalette(QPalette());
            widget->setProperty(PaletteMark, QVariant());
        }
    }
    QProxyStyle::unpolish(widget);
}

bool TsSkinStyle::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint) {
        if (auto* widget = qobject_cast<QWidget*>(watched); widget && !IsTipLabel(widget))
            PaintBackground(widget);
    } else if (event->type() == QEvent::Resize && FOptions.Hint && FOptions.Hint->Style == hsEllipse) {
        // The text must fit inside the ellipse: a box of its size scaled by
        // the square root of two has its corners on the ellipse.
        if (auto* tip = qobject_cast<QLabel*>(watched); tip && IsTipLabel(tip)) {
            // The tooltip aligns its text left after it is polished.
            if (tip->alignment() != Qt::AlignCenter)
                tip->setAlignment(Qt::AlignCenter);
            const QSize hint = tip->sizeHint();
            const QSize wanted(static_cast<int>(std::ceil(hint.width() * 1.415)) + 2,
                               static_cast<int>(std::ceil(hint.height() * 1.415)) + 2);
            if (tip->size() != wanted)
                tip->resize(wanted);
        }
    }
    return QProxyStyle::eventFilter(watched, event);
}

void TsSkinStyle::DrawTexture(QPainter* p, const QRect& deviceRect, const TSkinSection& section, qreal ratio) const
{
    if (section.Image.isEmpty())
        return;
    const QPixmap& tile = Texture(section.Image, ratio);
    if (tile.isNull())
        return;
    // Tiled in device pixels, one image pixel to one screen pixel.
    QPixmap unscaled = tile;
    unscaled.setDevicePixelRatio(1.0);
    p->drawTiledPixmap(deviceRect, unscaled, QPoint(deviceRect.x() % tile.width(), deviceRect.y() % tile.height()));
}

void TsSkinStyle::PaintBackground(QWidget* widget) const
{
    QPainter painter(widget);
    if (IsStatusPanel(widget)) {
        // Each panel of a status bar ends in an etched line.
        if (widget->width() <= 0 || !widget->isVisible())
            return;
        const TSkinSection& s = Sec(QStringLiteral("STATUSBAR"));
        TDevicePixels d(&painter, widget->rect());
        const int inset = d.Px(3);
        const int x = d.Rect.right() - 2 * d.Line + 1;
        VLine(d.P, x, d.Rect.top() + inset, d.Rect.bottom() - inset, s.Border, d.Line);
        VLine(d.P, x + d.Line, d.Rect.top() + inset, d.Rect.bottom() - inset, s.Light, d.Line);
        return;
    }
    const TSkinSection* s = SectionFor(widget, {});
    if (!s)
        return;
    TDevicePixels d(&painter, widget->rect());
    d.P->fillRect(d.Rect, FillBrush(s->Fill, d.Rect));
    DrawTexture(d.P, d.Rect, *s, d.Ratio);
    if (!widget->isWindow()) {
        // A bar: light along its top, its border along its bottom.
        HLine(d.P, d.Rect.left(), d.Rect.right(), d.Rect.top(), s->Light, d.Line);
        HLine(d.P, d.Rect.left(), d.Rect.right(), d.Rect.bottom() - d.Line + 1, s->Border, d.Line);
    }
}

void TsSkinStyle::DrawButton(const QStyleOption* opt, QPainter* p, const TSkinSection& s) const
{
    const bool enabled = opt->state & State_Enabled;
    const bool down = opt->state & (State_Sunken | State_On);
    const bool hot = enabled && (opt->state & State_MouseOver);
    QList<QColor> fill = down ? Either(s.DownFill, s.Fill) : hot ? Either(s.HotFill, s.Fill) : s.Fill;
    QColor border = s.Border;
    bool focus = opt->state & State_HasFocus;
    if (const auto* b = qstyleoption_cast<const QStyleOptionButton*>(opt))
        focus = focus || (b->features & QStyleOptionButton::DefaultButton);
    if (!enabled) {
        const QColor window = Either(FillColourAt(Sec(QStringLiteral("FORM")).Fill, 0.5), Qt::white);
        fill = Faded(fill, window);
        border = Mix(border, window, 0.5);
    } else if (focus) {
        border = Either(s.Focus, border);
    }
    TDevicePixels d(p, opt->rect);
    QColor light = down ? QColor() : s.Light;
    if (light.isValid())
        light.setAlphaF(0.75);
    DrawBox(d.P, d.Rect, FillBrush(fill, d.Rect), border, d.Px(s.Radius), d.Line, light);
}

void TsSkinStyle::DrawTab(const QStyleOption* opt, QPainter* p, const TSkinSection& s) const
{
    const bool selected = opt->state & State_Selected;
    const bool hot = (opt->state & State_MouseOver) && (opt->state & State_Enabled);
    TDevicePixels d(p, opt->rect);
    QRect r = d.Rect;
    const int gap = d.Line;
    if (!selected)
        r.adjust(gap, d.Px(2), -gap, 0);
    const int radius = d.Px(s.Radius);
    QPainterPath shape;
    const QRectF f(r.x(), r.y(), r.width(), r.height() + radius);  // bottom corners fall below the tab
    shape.addRoundedRect(f, radius, radius);
    QPainterPath clip;
    clip.addRect(QRectF(r.x(), r.y(), r.width(), r.height()));
    const QList<QColor>& fill = selected ? Either(s.SelFill, s.Fill) : hot ? Either(s.HotFill, s.Fill) : s.Fill;
    d.P->setClipPath(clip, Qt::IntersectClip);
    d.P->setPen(Qt::NoPen);
    d.P->setBrush(FillBrush(fill, QRectF(r)));
    d.P->drawPath(shape);
    if (s.Light.isValid()) {
        d.P->setPen(QPen(s.Light, d.Line));
        d.P->setBrush(Qt::NoBrush);
        const qreal in = d.Line * 1.5;
        d.P->drawRoundedRect(f.adjusted(in, in, -in, -in), std::max(0, radius - d.Line), std::max(0, radius - d.Line));
    }
    d.P->setPen(QPen(s.Border, d.Line));
    d.P->setBrush(Qt::NoBrush);
    const qreal half = d.Line / 2.0;
    d.P->drawRoundedRect(f.adjusted(half, half, -half, -half), radius, radius);
    if (!selected)
        HLine(d.P, d.Rect.left(), d.Rect.right(), d.Rect.bottom() - d.Line + 1, s.Border, d.Line);
}

void TsSkinStyle::DrawMenuItem(const QStyleOption* opt, QPainter* p, const QWidget* widget, const TSkinSection& s) const
{
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(opt);
    if (!item)
        return;
    const TSkinSection* strip = FOptions.IcoLineSection.isEmpty() ? nullptr : FSkin.Section(FOptions.IcoLineSection);
    const int stripWidth = strip ? strip->Width : 0;
    const QRect r = item->rect;
    {
        TDevicePixels d(p, r);
        if (item->menuItemType == QStyleOptionMenuItem::Separator) {
            const int y = d.Rect.center().y();
            HLine(d.P, d.Rect.left() + d.Px(stripWidth + 6), d.Rect.right() - d.Px(2), y, s.Separator, d.Line);
            return;
        }
        if ((item->state & State_Selected) && (item->state & State_Enabled)) {
            const QRect sel = d.Rect.adjusted(d.Px(1), 0, -d.Px(1), 0);
            DrawBox(d.P, sel, FillBrush(Either(s.SelFill, s.Fill), sel), s.Focus, d.Px(2), d.Line);
        }
    }
    const bool selected = (item->state & State_Selected) && (item->state & State_Enabled);
    QPalette pal = item->palette;
    pal.setColor(QPalette::Active, QPalette::WindowText, selected ? Either(s.SelText, s.Text) : s.Text);
    pal.setColor(QPalette::Inactive, QPalette::WindowText, selected ? Either(s.SelText, s.Text) : s.Text);

    const QRect icon(r.left(), r.top(), std::max(stripWidth, 20), r.height());
    if (item->checkType != QStyleOptionMenuItem::NotCheckable && item->checked) {
        TDevicePixels d(p, QRect(icon.center() - QPoint(6, 6), QSize(13, 13)));
        DrawCheck(d.P, d.Rect, pal.color(QPalette::WindowText), d.Line);
    } else if (!item->icon.isNull()) {
        const int size = pixelMetric(PM_SmallIconSize, opt, widget);
        const QRect iconRect(icon.center() - QPoint(size / 2, size / 2), QSize(size, size));
        item->icon.paint(p, iconRect, Qt::AlignCenter, item->state & State_Enabled ? QIcon::Normal : QIcon::Disabled);
    }

    QString text = item->text;
    QString shortcut;
    if (const int tab = text.indexOf(QLatin1Char('\t')); tab >= 0) {
        shortcut = text.mid(tab + 1);
        text.truncate(tab);
    }
    const int left = r.left() + stripWidth + 8;
    const QRect textRect(left, r.top(), r.right() - left - 18, r.height());
    const int flags = Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    p->save();
    p->setFont(item->font);
    drawItemText(p, textRect, flags | Qt::AlignLeft, pal, item->state & State_Enabled, text, QPalette::WindowText);
    if (!shortcut.isEmpty())
        drawItemText(p, textRect, flags | Qt::AlignRight, pal, item->state & State_Enabled, shortcut, QPalette::WindowText);
    p->restore();
    if (item->menuItemType == QStyleOptionMenuItem::SubMenu) {
        QStyleOptionMenuItem arrow = *item;
        arrow.rect = QRect(r.right() - 14, r.top() + (r.height() - 9) / 2, 9, 9);
        arrow.palette = pal;
        QProxyStyle::drawPrimitive(PE_IndicatorArrowRight, &arrow, p, widget);
    }
}

void TsSkinStyle::DrawHint(const QStyleOption* opt, QPainter* p) const
{
    const TsHintKind& h = *FOptions.Hint;
    TDevicePixels d(p, opt->rect);
    QColor fill = h.Color;
    fill.setAlphaF(fill.alphaF() * (100 - std::clamp(h.Transparency, 0, 100)) / 100.0);
    if (h.Style != hsEllipse) {
        DrawBox(d.P, d.Rect, fill, h.ColorBorderTop, h.Style == hsBalloon ? d.Px(4) : 0, d.Line);
        return;
    }
    // The window is cut to the ellipse; what lies outside the outline and
    // inside the cut takes the border's colour, so the edge stays clean.
    d.P->fillRect(d.Rect, h.ColorBorderBottom);
    const qreal half = d.Line / 2.0;
    const QRectF e = QRectF(d.Rect.x(), d.Rect.y(), d.Rect.width(), d.Rect.height()).adjusted(half, half, -half, -half);
    d.P->setPen(Qt::NoPen);
    d.P->setBrush(fill);
    d.P->drawEllipse(e);
    d.P->setBrush(Qt::NoBrush);
    d.P->setPen(QPen(h.ColorBorderTop, d.Line));
    d.P->drawArc(e, 0, 180 * 16);
    d.P->setPen(QPen(h.ColorBorderBottom, d.Line));
    d.P->drawArc(e, 180 * 16, 180 * 16);
}

void TsSkinStyle::drawPrimitive(PrimitiveElement pe, const QStyleOption* opt, QPainter* p, const QWidget* w) const
{
    switch (pe) {
    case PE_PanelButtonCommand:
        if (const TSkinSection* s = SectionFor(w, QStringLiteral("BUTTON"))) {
            DrawButton(opt, p, *s);
            return;
        }
        break;
    case PE_PanelButtonTool:
        if (opt->state & (State_MouseOver | State_Sunken | State_On | State_Raised))
            if (const TSkinSection* s = SectionFor(w, QStringLiteral("BUTTON"))) {
                DrawButton(opt, p, *s);
                return;
            }
        break;
    case PE_FrameDefaultButton:
        return;
    case PE_PanelLineEdit:
    case PE_FrameLineEdit:
        if (const TSkinSection* s = SectionFor(w, QStringLiteral("EDIT"))) {
            const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(opt);
            const bool framed = pe == PE_FrameLineEdit || !frame || frame->lineWidth > 0;
            const bool enabled = opt->state & State_Enabled;
            const QColor border = !enabled ? Mix(s->Border, opt->palette.color(QPalette::Window), 0.5)
                                  : (opt->state & State_HasFocus) ? Either(s->Focus, s->Border)
                                                                  : s->Border;
            TDevicePixels d(p, opt->rect);
            const QBrush fill = pe == PE_FrameLineEdit ? QBrush(Qt::NoBrush)
                                : enabled              ? opt->palette.brush(QPalette::Base)
                                                       : QBrush(opt->palette.color(QPalette::Window));
            DrawBox(d.P, d.Rect, fill, framed ? border : QColor(), d.Px(s->Radius), d.Line);
            return;
        }
        break;
    case PE_FrameTabWidget:
        if (const TSkinSection* s = SectionFor(w, QStringLiteral("PAGECONTROL"))) {
            TDevicePixels d(p, opt->rect);
            DrawBox(d.P, d.Rect, Either(s->Pane, Qt::white), s->Border, 0, d.Line);
            return;
        }
        break;
    case PE_FrameTabBarBase:
        if (const TSkinSection* s = SectionFor(w, QStringLiteral("PAGECONTROL"))) {
            TDevicePixels d(p, opt->rect);
            HLine(d.P, d.Rect.left(), d.Rect.right(), d.Rect.bottom() - d.Line + 1, s->Border, d.Line);
            return;
        }
        break;
    case PE_PanelStatusBar:
        if (const TSkinSection* s = SectionFor(w, QStringLiteral("STATUSBAR"))) {
            TDevicePixels d(p, opt->rect);
            d.P->fillRect(d.Rect, FillBrush(s->Fill, d.Rect));
            DrawTexture(d.P, d.Rect, *s, d.Ratio);
            HLine(d.P, d.Rect.left(), d.Rect.right(), d.Rect.top(), s->Border, d.Line);
            HLine(d.P, d.Rect.left(), d.Rect.right(), d.Rect.top() + d.Line, s->Light, d.Line);
            return;
        }
        break;
    case PE_FrameStatusBarItem:
        return;
    case PE_IndicatorCheckBox:
    case PE_IndicatorRadioButton:
    case PE_IndicatorItemViewItemCheck:
        if (const TSkinSection* s = SectionFor(w, QStringLiteral("CHECKBOX"))) {
            const bool enabled = opt->state & State_Enabled;
            const QColor window = opt->palette.color(QPalette::Window);
            QColor border = (opt->state & (State_MouseOver | State_HasFocus)) && enabled
                                ? Either(Sec(QStringLiteral("EDIT")).Focus, s->Border)
                                : s->Border;
            QColor mark = Either(FillColourAt(s->SelFill, 0.5), s->Text);
            if (!enabled) {
                border = Mix(border, window, 0.5);
                mark = Mix(mark, window, 0.5);
            }
            const QBrush fill = enabled ? FillBrush(s->Fill, opt->rect) : QBrush(window);
            TDevicePixels d(p, opt->rect);
            if (pe == PE_IndicatorRadioButton) {
                DrawBox(d.P, d.Rect, fill, border, d.Rect.width() / 2, d.Line);
                if (opt->state & State_On) {
                    d.P->setPen(Qt::NoPen);
                    d.P->setBrush(mark);
                    const QRectF dot = QRectF(d.Rect).adjusted(d.Rect.width() * 0.3, d.Rect.height() * 0.3,
                                                               -d.Rect.width() * 0.3, -d.Rect.height() * 0.3);
                    d.P->drawEllipse(dot);
                }
                return;
            }
            DrawBox(d.P, d.Rect, fill, border, d.Px(s->Radius), d.Line);
            if (opt->state & State_On)
                DrawCheck(d.P, d.Rect, mark, d.Line);
            else if (opt->state & State_NoChange)
                d.P->fillRect(d.Rect.adjusted(d.Rect.width() / 4, d.Rect.height() / 4, -d.Rect.width() / 4,
                                              -d.Rect.height() / 4),
                              mark);
            return;
        }
        break;
    case PE_PanelMenu:
        if (const TSkinSection* s = SectionFor(w, QStringLiteral("MENU"))) {
            TDevicePixels d(p, opt->rect);
            d.P->fillRect(d.Rect, FillBrush(s->Fill, d.Rect));
            if (const TSkinSection* strip =
                    FOptions.IcoLineSection.isEmpty() ? nullptr : FSkin.Section(FOptions.IcoLineSection)) {
                const int margin = pixelMetric(PM_MenuPanelWidth, opt, w) + pixelMetric(PM_MenuHMargin, opt, w);
                const QRect band(d.Rect.left(), d.Rect.top(), d.Px(margin + strip->Width), d.Rect.height());
                // Horizontal: the strip shades from left to right.
                QLinearGradient shade(band.topLeft(), band.topRight());
                for (int i = 0; i < strip->Fill.size(); ++i)
                    shade.setColorAt(strip->Fill.size() > 1 ? static_cast<qreal>(i) / (strip->Fill.size() - 1) : 0,
                                     strip->Fill[i]);
                d.P->fillRect(band, strip->Fill.size() > 1 ? QBrush(shade) : FillBrush(strip->Fill, band));
                VLine(d.P, band.right() - d.Line + 1, band.top(), band.bottom(), strip->Border, d.Line);
            }
            return;
        }
        break;
    case PE_FrameMenu:
        if (const TSkinSection* s = SectionFor(w, QStringLiteral("MENU"))) {
            TDevicePixels d(p, opt->rect);
            DrawBox(d.P, d.Rect, Qt::NoBrush, s->Border, 0, d.Line);
            return;
        }
        break;
    case PE_PanelTipLabel:
        if (FOptions.Hint) {
            DrawHint(opt, p);
            return;
        }
        if (const TSkinSection* s = FSkin.Section(QStringLiteral("HINT"))) {
            TDevicePixels d(p, opt->rect);
            DrawBox(d.P, d.Rect, FillBrush(s->Fill, d.Rect), s->Border, 0, d.Line);
            return;
        }
        break;
    default:
        break;
    }
    QProxyStyle::drawPrimitive(pe, opt, p, w);
}

void TsSkinStyle::drawControl(ControlElement ce, const QStyleOption* opt, QPainter* p, const QWidget* w) const
{
    switch (ce) {
    case CE_TabBarTabShape:
        if (const auto* tab = qstyleoption_cast<const QStyleOptionTab*>(opt);
            tab && tab->shape == QTabBar::RoundedNorth)
            if (const TSkinSection* s = SectionFor(w, QStringLiteral("PAGECONTROL"))) {
                DrawTab(opt, p, *s);
                return;
            }
        break;
    case CE_TabBarTabLabel:
        if (const auto* tab = qstyleoption_cast<const QStyleOptionTab*>(opt))
            if (const TSkinSection* s = SectionFor(w, QStringLiteral("PAGECONTROL"))) {
                QStyleOptionTab copy = *tab;
                const QColor text = (tab->state & State_Selected) ? Either(s->SelText, s->Text) : s->Text;
                if (text.isValid())
                    for (const QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
                        copy.palette.setColor(g, QPalette::WindowText, text);
                        copy.palette.setColor(g, QPalette::ButtonText, text);
                    }
                QProxyStyle::drawControl(ce, &copy, p, w);
                return;
            }
        break;
    case CE_ProgressBarGroove:
        if (const TSkinSection* s = SectionFor(w, QStringLiteral("PROGRESSBAR"))) {
            TDevicePixels d(p, opt->rect);
            DrawBox(d.P, d.Rect, FillBrush(s->Fill, d.Rect), s->Border, d.Px(s->Radius), d.Line);
            return;
        }
        break;
    case CE_ProgressBarContents:
        if (const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(opt);
            bar && bar->maximum > bar->minimum && (bar->state & State_Horizontal))
            if (const TSkinSection* s = SectionFor(w, QStringLiteral("PROGRESSBAR"))) {
                TDevicePixels d(p, opt->rect);
                const int inset = d.Line + d.Px(1);
                const QRect inner = d.Rect.adjusted(inset, inset, -inset, -inset);
                const double done = std::clamp(double(bar->progress - bar->minimum) / (bar->maximum - bar->minimum),
                                               0.0, 1.0);
                const int width = static_cast<int>(std::lround(inner.width() * done));
                if (width <= 0)
                    return;
                QRect chunk(inner.left(), inner.top(), width, inner.height());
                const bool reversed = bar->invertedAppearance != (bar->direction == Qt::RightToLeft);
                if (reversed)
                    chunk.moveRight(inner.right());
                const int radius = std::max(0, d.Px(s->Radius) - inset);
                DrawBox(d.P, chunk, FillBrush(Either(s->SelFill, s->Fill), chunk), QColor(), radius, d.Line);
                QColor shine(Qt::white);
                shine.setAlphaF(0.45);
                HLine(d.P, chunk.left() + radius, chunk.right() - radius, chunk.top(), shine, d.Line);
                return;
            }
        break;
    case CE_ProgressBarLabel:
        if (const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(opt); bar && bar->textVisible)
            if (const TSkinSection* s = SectionFor(w, QStringLiteral("PROGRESSBAR"))) {
                QPalette pal = bar->palette;
                pal.setColor(QPalette::WindowText, Either(s->Text, pal.color(QPalette::WindowText)));
                drawItemText(p, bar->rect, Qt::AlignCenter | Qt::TextSingleLine, pal, bar->state & State_Enabled,
                             bar->text, QPalette::WindowText);
                return;
            }
        break;
    case CE_MenuItem:
        if (const TSkinSection* s = SectionFor(w, QStringLiteral("MENU"))) {
            DrawMenuItem(opt, p, w, *s);
            return;
        }
        break;
    case CE_MenuEmptyArea:
        if (SectionFor(w, QStringLiteral("MENU")))
            return;
        break;
    default:
        break;
    }
    QProxyStyle::drawControl(ce, opt, p, w);
}

void TsSkinStyle::drawComplexControl(ComplexControl cc, const QStyleOptionComplex* opt, QPainter* p,
                                     const QWidget* w) const
{
    if (cc == CC_GroupBox)
        if (const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(opt);
            box && (box->subControls & SC_GroupBoxFrame) && !(box->features & QStyleOptionFrame::Flat))
            if (const TSkinSection* s = SectionFor(w, QStringLiteral("GROUPBOX"))) {
                // The frame's top line runs through the middle of the title,
                // with a gap for it.
                QRect frame = subControlRect(cc, opt, SC_GroupBoxFrame, w);
                const QRect label = subControlRect(cc, opt, SC_GroupBoxLabel, w);
                const QRect check = subControlRect(cc, opt, SC_GroupBoxCheckBox, w);
                QRect title;
                if (!box->text.isEmpty())
                    title = label;
                if (box->subControls & SC_GroupBoxCheckBox)
                    title = title.united(check);
                if (!title.isEmpty())
                    frame.setTop(title.center().y());
                p->save();
                if (!title.isEmpty())
                    p->setClipRegion(QRegion(opt->rect).subtracted(title.adjusted(-3, 0, 3, 0)));
                {
                    TDevicePixels d(p, frame);
                    QColor light = s->Light;
                    if (light.isValid())
                        light.setAlphaF(0.6);
                    DrawBox(d.P, d.Rect, FillBrush(s->Fill, d.Rect), s->Border, d.Px(s->Radius), d.Line, light);
                }
                p->restore();
                QStyleOptionGroupBox rest = *box;
                rest.subControls &= ~SC_GroupBoxFrame;
                QProxyStyle::drawComplexControl(cc, &rest, p, w);
                return;
            }
    QProxyStyle::drawComplexControl(cc, opt, p, w);
}

QRect TsSkinStyle::subControlRect(ComplexControl cc, const QStyleOptionComplex* opt, SubControl sc,
                                  const QWidget* w) const
{
    QRect r = QProxyStyle::subControlRect(cc, opt, sc, w);
    // A group box's title stands a little in from the frame's corner.
    if (cc == CC_GroupBox && (sc == SC_GroupBoxLabel || sc == SC_GroupBoxCheckBox))
        if (const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(opt);
            box && !(box->features & QStyleOptionFrame::Flat) && SectionFor(w, QStringLiteral("GROUPBOX")))
            r.translate(box->direction == Qt::RightToLeft ? -8 : 8, 0);
    return r;
}

int TsSkinStyle::pixelMetric(PixelMetric metric, const QStyleOption* opt, const QWidget* w) const
{
    switch (metric) {
    case PM_MenuPanelWidth:
        return 1;
    case PM_MenuHMargin:
        return 2;
    case PM_MenuVMargin:
        return 2;
    case PM_ToolTipLabelFrameWidth:
        return FOptions.Hint && FOptions.Hint->Style == hsEllipse ? 2 : QProxyStyle::pixelMetric(metric, opt, w);
    default:
        return QProxyStyle::pixelMetric(metric, opt, w);
    }
}

int TsSkinStyle::styleHint(StyleHint hint, const QStyleOption* opt, const QWidget* w, QStyleHintReturn* ret) const
{
    switch (hint) {
    case SH_GroupBox_TextLabelColor:
        if (const TSkinSection* s = SectionFor(w, QStringLiteral("GROUPBOX")); s && s->Text.isValid())
            return static_cast<int>(s->Text.rgba());
        break;
    case SH_ToolTip_Mask:
        if (FOptions.Hint && FOptions.Hint->Style == hsEllipse && opt) {
            if (auto* mask = qstyleoption_cast<QStyleHintReturnMask*>(ret))
                mask->region = QRegion(opt->rect, QRegion::Ellipse);
            return 1;
        }
        break;
    case SH_EtchDisabledText:
    case SH_DitherDisabledText:
        return 0;
    default:
        break;
    }
    return QProxyStyle::styleHint(hint, opt, w, ret);
}

QSize TsSkinStyle::sizeFromContents(ContentsType type, const QStyleOption* opt, const QSize& size,
                                    const QWidget* w) const
{
    if (type == CT_MenuItem && SectionFor(w, QStringLiteral("MENU")))
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(opt)) {
            const TSkinSection* strip =
                FOptions.IcoLineSection.isEmpty() ? nullptr : FSkin.Section(FOptions.IcoLineSection);
            const int stripWidth = strip ? strip->Width : 0;
            if (item->menuItemType == QStyleOptionMenuItem::Separator)
                return {stripWidth + 20, 7};
            const QFontMetrics fm(item->font);
            int width = stripWidth + 8 + size.width() + 28;
            if (item->reservedShortcutWidth > 0)
                width += item->reservedShortcutWidth + 20;
            return {width, std::max(fm.height() + 8, 22)};
        }
    return QProxyStyle::sizeFromContents(type, opt, size, w);
}
