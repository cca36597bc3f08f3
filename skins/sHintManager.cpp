#include "skins/sHintManager.h"

#include "platform/DesignFonts.h"
#include "skins/sSkinManager.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPalette>
#include <QTextDocument>
#include <QToolTip>
#include <QWidget>

TsHintManager::TsHintManager(TsSkinManager& skins, QObject* parent)
    : QObject(parent)
    , FSkins(skins)
{
}

TsHintManager::~TsHintManager()
{
    if (FFiltering)
        qApp->removeEventFilter(this);
}

void TsHintManager::SetHintKind(const TsHintKind& kind)
{
    FHintKind = kind;
    Update();
}

void TsHintManager::SetAnimated(bool animated)
{
    FAnimated = animated;
    Update();
}

void TsHintManager::SetActive(bool active)
{
    FActive = active;
    Update();
}

void TsHintManager::Loaded()
{
    FLoaded = true;
    Update();
}

QColor TsHintManager::TextColour() const
{
    QColor text = FHintKind.FontColor.isValid() ? FHintKind.FontColor
                                                : QApplication::palette().color(QPalette::WindowText);
    // Black on black cannot be read: the window text colour against a black
    // hint would hide every hint, so such text turns to the fill's opposite.
    auto luminance = [](const QColor& c) { return 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF(); };
    const qreal fill = luminance(FHintKind.Color);
    if (std::abs(luminance(text) - fill) < 0.4)
        text = fill < 0.5 ? QColor(Qt::white) : QColor(Qt::black);
    return text;
}

void TsHintManager::Update()
{
    if (!FLoaded)
        return;
    if (FActive != FFiltering) {
        if (FActive)
            qApp->installEventFilter(this);
        else
            qApp->removeEventFilter(this);
        FFiltering = FActive;
    }
    if (!FActive) {
        FSkins.SetHintKind(std::nullopt);
        return;
    }
    // The style draws the shape; the font and colours go to the tooltip
    // itself. The palette is set before the skin, whose standard palette
    // knows nothing of hints.
    FSkins.SetHintKind(FHintKind);
    QToolTip::setFont(DesignFont(FHintKind.FontFamily, FHintKind.FontPixels));
    QPalette pal = QToolTip::palette();
    pal.setColor(QPalette::ToolTipBase, FHintKind.Color);
    pal.setColor(QPalette::ToolTipText, TextColour());
    pal.setColor(QPalette::WindowText, TextColour());
    pal.setColor(QPalette::Window, FHintKind.Color);
    QToolTip::setPalette(pal);
    // Tooltip effects run only under the general switch for effects.
    if (FAnimated)
        QApplication::setEffectEnabled(Qt::UI_General, true);
    QApplication::setEffectEnabled(Qt::UI_AnimateTooltip, FAnimated);
    QApplication::setEffectEnabled(Qt::UI_FadeTooltip, FAnimated);
}

bool TsHintManager::eventFilter(QObject* watched, QEvent* event)
{
    // Only tooltip requests are looked at; every other event passes at the
    // cost of one comparison.
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->toolTip().isEmpty())
        return QObject::eventFilter(watched, event);
    const auto* help = static_cast<QHelpEvent*>(event);
    QString text = widget->toolTip();
    if (!FHTMLMode && Qt::mightBeRichText(text))
        text = Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
    const int duration = widget->toolTipDuration() > 0 ? widget->toolTipDuration() : FPauseHide;
    QToolTip::showText(help->globalPos(), text, widget, QRect(), duration);
    return true;
}
