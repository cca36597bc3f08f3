#include "skins/sSkinSectionProperty.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>

void SetSkinSection(QWidget* widget, const QString& section)
{
    if (!widget || SkinSectionOf(widget) == section)
        return;
    widget->setProperty(SkinSectionProperty, section);
    if (widget->testAttribute(Qt::WA_WState_Polished)) {
        widget->style()->unpolish(widget);
        widget->style()->polish(widget);
        widget->update();
    }
}

QString SkinSectionOf(const QWidget* widget)
{
    return widget ? widget->property(SkinSectionProperty).toString() : QString();
}

QString DefaultSkinSection(const QWidget* widget)
{
    if (!widget)
        return {};
    if (qobject_cast<const QMenu*>(widget))
        return QStringLiteral("MENU");
    if (widget->inherits("QTipLabel"))
        return QStringLiteral("HINT");
    if (widget->isWindow() && (widget->windowType() == Qt::Window || widget->windowType() == Qt::Dialog))
        return qobject_cast<const QDialog*>(widget) ? QStringLiteral("DIALOG") : QStringLiteral("FORM");
    if (qobject_cast<const QCheckBox*>(widget) || qobject_cast<const QRadioButton*>(widget))
        return QStringLiteral("CHECKBOX");
    if (qobject_cast<const QAbstractButton*>(widget))
        return QStringLiteral("BUTTON");
    if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
        qobject_cast<const QComboBox*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
        qobject_cast<const QPlainTextEdit*>(widget))
        return QStringLiteral("EDIT");
    if (qobject_cast<const QTabWidget*>(widget) || qobject_cast<const QTabBar*>(widget))
        return QStringLiteral("PAGECONTROL");
    if (qobject_cast<const QStatusBar*>(widget))
        return QStringLiteral("STATUSBAR");
    if (qobject_cast<const QProgressBar*>(widget))
        return QStringLiteral("PROGRESSBAR");
    if (qobject_cast<const QGroupBox*>(widget))
        return QStringLiteral("GROUPBOX");
    if (qobject_cast<const QLabel*>(widget))
        return QStringLiteral("LABEL");
    return {};
}
