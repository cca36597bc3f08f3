#include "upgrade/auUpgraderFonts.h"

#include <QStringList>

void InstallUpgraderFontSubstitutes()
{
    // DejaVu carries the Latin and Cyrillic letters of the table, Noto CJK
    // the Chinese ones (fonts-dejavu-core, fonts-noto-cjk).
    static const bool installed = [] {
        const QStringList sans = {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC"),
                                  QStringLiteral("Noto Sans CJK TC")};
        QFont::insertSubstitutions(QStringLiteral("Tahoma"), sans);
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
        QFont::insertSubstitutions(QStringLiteral("Times New Roman"),
                                   {QStringLiteral("DejaVu Serif"), QStringLiteral("Noto Serif CJK SC"),
                                    QStringLiteral("Noto Serif CJK TC")});
        return true;
    }();
    (void)installed;
}

QFont UpgraderFont(const QString& Family, int Pixels)
{
    InstallUpgraderFontSubstitutes();
    QFont font(Family);
    font.setPixelSize(Pixels);
    return font;
}
