#pragma once
// The fonts the upgrade windows are designed with (Tahoma, Times New Roman,
// MS Sans Serif), through the program's one mapping to installed faces, so
// a translated caption never shows boxes.

#include "platform/DesignFonts.h"

// Family at a height of Pixels pixels, the substitutes registered first.
inline QFont UpgraderFont(const QString& Family, int Pixels)
{
    return DesignFont(Family, Pixels);
}
