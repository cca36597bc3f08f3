// The design's font names reach installed faces, and Chinese in any of them
// comes from the one CJK face the program loads.

#include "platform/DesignFonts.h"

#include <QGuiApplication>
#include <QRawFont>
#include <QTextLayout>
#include <QtTest>

namespace {

// The family of every face the text is drawn with, in order, in lower case
// as fontconfig may report it.
QStringList FacesDrawing(const QString& text, const QFont& font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList faces;
    for (const QGlyphRun& run : layout.glyphRuns())
        faces << run.rawFont().familyName().toLower();
    return faces;
}

} // namespace

class TestDesignFonts : public QObject {
    Q_OBJECT
private slots:
    void designFamiliesMapToInstalledFaces_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("latinFace");
        QTest::newRow("宋体") << QStringLiteral("宋体") << QStringLiteral("Noto Serif CJK SC");
        QTest::newRow("MS Sans Serif") << QStringLiteral("MS Sans Serif") << QStringLiteral("DejaVu Sans");
        QTest::newRow("Tahoma") << QStringLiteral("Tahoma") << QStringLiteral("DejaVu Sans");
        QTest::newRow("Times New Roman") << QStringLiteral("Times New Roman") << QStringLiteral("DejaVu Serif");
    }

    void designFamiliesMapToInstalledFaces()
    {
        QFETCH(QString, family);
        QFETCH(QString, latinFace);
        const QFont font = DesignFont(family, 12, true);
        QCOMPARE(font.pixelSize(), 12);
        QVERIFY(font.bold());
        QCOMPARE(FacesDrawing(QStringLiteral("Upgrade"), font), QStringList{latinFace.toLower()});
        // Chinese, Traditional Chinese and Japanese kana alike: one CJK face.
        for (const QString& text : {QStringLiteral("软件升级"), QStringLiteral("軟體升級"), QStringLiteral("アップグレード")}) {
            const QStringList faces = FacesDrawing(text, font);
            QVERIFY(!faces.isEmpty());
            for (const QString& face : faces)
                QVERIFY2(face == QStringLiteral("noto serif cjk sc"), qPrintable(text + u": " + faces.join(u", ")));
        }
    }
};

QTEST_MAIN(TestDesignFonts)
#include "tst_DesignFonts.moc"
