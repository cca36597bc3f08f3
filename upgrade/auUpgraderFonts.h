#pragma once
// The fonts the upgrade windows are designed with (Tahoma, Times New Roman,
// MS Sans Serif) mapped to installed families, Chinese included, so a
// translated caption never shows boxes.

#include <QFont>
#include <QString>

// Registers the substitutes once per process; later calls do nothing.
void InstallUpgraderFontSubstitutes();
// Family at a height of Pixels pixels, substitutes registered first.
QFont UpgraderFont(const QString& Family, int Pixels);
