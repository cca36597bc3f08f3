#include "skins/sSkinFonts.h"

#include <QStringList>

void InstallSkinFontSubstitutes()
{
    // The same families, in the same order, as the program's own mapping:
    // fonts-noto-cjk carries the Chinese glyphs, DejaVu the Latin ones, and
    // Chinese in the Latin faces falls back to 宋体's stand-in, so that one
    // CJK face is loaded, not two.
    // insertSubstitutions skips names already listed, so registering here
    // as well changes nothing when the program has done it first.
    static const bool installed = [] {
        QFont::insertSubstitutions(QStringLiteral("宋体"),
                                   {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Serif CJK SC")});
        QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                                   {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Serif CJK SC")});
        return true;
    }();
    (void)installed;
}

QFont SkinFont(const QString& family, int pixels, bool bold)
{
    InstallSkinFontSubstitutes();
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}
