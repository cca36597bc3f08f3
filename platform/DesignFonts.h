#pragma once
// The font families the windows and skins are designed with ("宋体",
// "MS Sans Serif", "Tahoma", "Times New Roman") mapped to installed faces,
// so that Chinese text never shows boxes. One mapping for the whole program.

#include <QFont>
#include <QString>

// Registers the substitutes once per process; later calls do nothing.
void InstallDesignFontSubstitutes();

// Family at a height of Pixels pixels, the substitutes registered first.
QFont DesignFont(const QString& Family, int Pixels, bool Bold = false);
