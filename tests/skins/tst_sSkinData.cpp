// Reading a skin folder: what makes a skin usable, what is refused, and the
// colour helpers the style draws with. No window needed.

#include "skins/sSkinData.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QJsonObject AllSections()
{
    QJsonObject sections;
    for (const QString& name : RequiredSkinSections())
        sections.insert(name, QJsonObject{{QStringLiteral("Fill"), QStringLiteral("#808080")}});
    return sections;
}

bool Write(const QString& folder, const QByteArray& json)
{
    QFile file(folder + QStringLiteral("/skin.json"));
    return file.open(QIODevice::WriteOnly) && file.write(json) == json.size();
}

} // namespace

class TestSkinData : public QObject {
    Q_OBJECT
private slots:
    void load_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");  // empty: loads
        const QJsonObject sections = AllSections();
        auto doc = [](const QJsonObject& o) { return QJsonDocument(o).toJson(); };
        QTest::newRow("complete") << doc({{"Name", "Lake (测试)"}, {"Order", 3}, {"Sections", sections}}) << QString();
        QTest::newRow("lower-case section names")
            << doc({{"Name", "Lake"}, {"Sections", QJsonObject{{"form", sections.value("FORM")}}}})
            << QStringLiteral("no section DIALOG");
        QJsonObject missing = sections;
        missing.remove(QStringLiteral("ICOLINE"));
        QTest::newRow("a section missing") << doc({{"Name", "Lake"}, {"Sections", missing}})
                                           << QStringLiteral("no section ICOLINE");
        QTest::newRow("no name") << doc({{"Sections", sections}}) << QStringLiteral("no Name");
        QTest::newRow("blank name") << doc({{"Name", "  "}, {"Sections", sections}}) << QStringLiteral("no Name");
        QTest::newRow("not JSON") << QByteArray("{ \"Name\": ") << QStringLiteral("skin.json: ");
        QTest::newRow("an array") << QByteArray("[]") << QStringLiteral("skin.json: ");
    }

    void load()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QVERIFY(Write(dir.path(), json));
        TSkinData skin;
        QString why;
        QCOMPARE(skin.Load(dir.path(), &why), error.isEmpty());
        QVERIFY2(why.contains(error), qPrintable(why));
        if (error.isEmpty()) {
            QCOMPARE(skin.Name, QStringLiteral("Lake (测试)"));
            QCOMPARE(skin.Order, 3);
            QCOMPARE(skin.Section(QStringLiteral("FORM"))->Fill, QList<QColor>{QColor(0x808080)});
        } else {
            QVERIFY(skin.Name.isEmpty());
        }
    }

    void texturesStayInTheSkinsFolder_data()
    {
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("kept");
        QTest::newRow("own file") << QStringLiteral("weave.png") << QStringLiteral("weave.png");
        QTest::newRow("parent folder") << QStringLiteral("../weave.png") << QString();
        QTest::newRow("absolute") << QStringLiteral("/etc/weave.png") << QString();
        QTest::newRow("backslash") << QStringLiteral("..\\weave.png") << QString();
    }

    void texturesStayInTheSkinsFolder()
    {
        QFETCH(QString, image);
        QFETCH(QString, kept);
        QJsonObject sections = AllSections();
        sections.insert(QStringLiteral("FORM"), QJsonObject{{"Fill", "#ffffff"}, {"Image", image}});
        QTemporaryDir dir;
        QVERIFY(Write(dir.path(), QJsonDocument(QJsonObject{{"Name", "Lake"}, {"Sections", sections}}).toJson()));
        TSkinData skin;
        QVERIFY(skin.Load(dir.path()));
        QCOMPARE(skin.Section(QStringLiteral("FORM"))->Image, kept);
    }

    void doubleSizeImagesFromOneAndAHalf_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("doubled");
        QTest::newRow("100 %") << 1.0 << false;
        QTest::newRow("125 %") << 1.25 << false;
        QTest::newRow("150 %") << 1.5 << true;
        QTest::newRow("200 %") << 2.0 << true;
    }

    void doubleSizeImagesFromOneAndAHalf()
    {
        QFETCH(qreal, ratio);
        QFETCH(bool, doubled);
        QTemporaryDir dir;
        QVERIFY(Write(dir.path(), QJsonDocument(QJsonObject{{"Name", "Lake"}, {"Sections", AllSections()}}).toJson()));
        QFile twice(dir.filePath(QStringLiteral("weave@2x.png")));
        QVERIFY(twice.open(QIODevice::WriteOnly));
        TSkinData skin;
        QVERIFY(skin.Load(dir.path()));
        QCOMPARE(skin.ImagePath(QStringLiteral("weave.png"), ratio),
                 dir.filePath(doubled ? QStringLiteral("weave@2x.png") : QStringLiteral("weave.png")));
        // Without a double-size file the plain one serves every scale.
        QCOMPARE(skin.ImagePath(QStringLiteral("gauze.png"), ratio), dir.filePath(QStringLiteral("gauze.png")));
    }

    void fillColourAlongAGradient_data()
    {
        QTest::addColumn<QList<QColor>>("fill");
        QTest::addColumn<qreal>("at");
        QTest::addColumn<QColor>("colour");
        const QList<QColor> three = {QColor(0, 0, 0), QColor(200, 100, 0), QColor(200, 100, 200)};
        QTest::newRow("single") << QList<QColor>{QColor(1, 2, 3)} << 0.7 << QColor(1, 2, 3);
        QTest::newRow("top") << three << 0.0 << QColor(0, 0, 0);
        QTest::newRow("a quarter") << three << 0.25 << QColor(100, 50, 0);
        QTest::newRow("middle stop") << three << 0.5 << QColor(200, 100, 0);
        QTest::newRow("bottom") << three << 1.0 << QColor(200, 100, 200);
        QTest::newRow("below the bottom") << three << 1.5 << QColor(200, 100, 200);
        QTest::newRow("none") << QList<QColor>() << 0.5 << QColor();
    }

    void fillColourAlongAGradient()
    {
        QFETCH(QList<QColor>, fill);
        QFETCH(qreal, at);
        QFETCH(QColor, colour);
        QCOMPARE(FillColourAt(fill, at), colour);
    }

    void shiftingColoursKeepsGreysAndAlpha()
    {
        QJsonObject sections = AllSections();
        sections.insert(QStringLiteral("BUTTON"),
                        QJsonObject{{"Fill", QJsonArray{"#ff0000", "#808080"}}, {"Text", "#80ff0000"}});
        QTemporaryDir dir;
        QVERIFY(Write(dir.path(), QJsonDocument(QJsonObject{{"Name", "Lake"}, {"Sections", sections}}).toJson()));
        TSkinData skin;
        QVERIFY(skin.Load(dir.path()));
        skin.ShiftColours(120, 0);
        const TSkinSection* button = skin.Section(QStringLiteral("BUTTON"));
        QCOMPARE(button->Fill.at(0), QColor(0, 255, 0));
        QCOMPARE(button->Fill.at(1), QColor(0x808080));  // a grey has no hue to turn
        QCOMPARE(button->Text.alpha(), 0x80);
        QCOMPARE(button->Text.hsvHue(), 120);
        skin.ShiftColours(0, -100);
        QCOMPARE(button->Fill.at(0), QColor(255, 255, 255));
    }
};

QTEST_GUILESS_MAIN(TestSkinData)
#include "tst_sSkinData.moc"
