#include "platform/DesignFonts.h"

#include <QStringList>

void InstallDesignFontSubstitutes()
{
    // fonts-noto-cjk carries the Chinese glyphs (and the Japanese, Korean
    // and Traditional ones of the upgrade messages), DejaVu the Latin,
    // Greek and Cyrillic ones. Every Latin face falls back to the one CJK
    // face 宋体 maps to, as Chinese Windows links them to 宋体: a second CJK
    // face would cost the process some megabytes more at start-up.
    static const bool installed = [] {
        const QString cjk = QStringLiteral("Noto Serif CJK SC");
        QFont::insertSubstitutions(QStringLiteral("宋体"), {cjk, QStringLiteral("Noto Sans CJK SC")});
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), {QStringLiteral("DejaVu Sans"), cjk});
        QFont::insertSubstitutions(QStringLiteral("Tahoma"), {QStringLiteral("DejaVu Sans"), cjk});
        QFont::insertSubstitutions(QStringLiteral("Times New Roman"), {QStringLiteral("DejaVu Serif"), cjk});
        return true;
    }();
    (void)installed;
}

QFont DesignFont(const QString& Family, int Pixels, bool Bold)
{
    InstallDesignFontSubstitutes();
    QFont font(Family);
    font.setPixelSize(Pixels);
    font.setBold(Bold);
    return font;
}
