#pragma once
// The skin section a widget draws with. A window sets it on its controls
// (SetSkinSection(sPanel1, "PANEL")); a widget without one draws with the
// section of its kind (DefaultSkinSection), as the skinning rules allow.

#include <QString>

class QWidget;

inline constexpr char SkinSectionProperty[] = "SkinSection";

// Sets the section; a widget already shown is drawn again with it.
void SetSkinSection(QWidget* Widget, const QString& Section);
// The section set on the widget, or empty.
QString SkinSectionOf(const QWidget* Widget);
// The section a widget of this kind draws with when none is set: "FORM" and
// "DIALOG" for windows, "BUTTON", "EDIT", "PAGECONTROL"... for controls,
// empty for plain containers.
QString DefaultSkinSection(const QWidget* Widget);
