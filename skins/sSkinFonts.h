#pragma once
// The font families the skins and the designs name ("宋体", "MS Sans Serif",
// "Tahoma") mapped to installed families, so that Chinese text in a skinned
// control never shows boxes.

#include <QFont>
#include <QString>

// Registers the substitutes once per process; later calls do nothing.
void InstallSkinFontSubstitutes();
// Family at a height of Pixels pixels, substitutes registered first.
QFont SkinFont(const QString& Family, int Pixels, bool Bold = false);
