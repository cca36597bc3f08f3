// The entry time of the status bar: the locale's long time, without the time
// zone that Qt's long format carries on Linux.

#include "app/LongTimeFormat.h"

#include <QTest>

class TestLongTimeFormat : public QObject {
    Q_OBJECT
private slots:
    void withoutZone_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("C: zone at the end") << "C" << "11:22:29";
        QTest::newRow("en_US: after AM") << "en_US" << "11:22:29 AM";
        QTest::newRow("zh_CN: zone first") << "zh_CN" << "11:22:29";
        QTest::newRow("es_ES: zone in brackets") << "es_ES" << "11:22:29";
        QTest::newRow("bg_BG: quoted text kept") << "bg_BG" << "11:22:29 ч.";
        QTest::newRow("ja_JP: no blanks") << "ja_JP" << "11時22分29秒";
    }
    void withoutZone()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QCOMPARE(LongTimeText(QTime(11, 22, 29), QLocale(locale)), text);
        QVERIFY(!LongTimeFormatWithoutZone(QLocale(locale)).contains(QLatin1Char('t')));
    }
};

QTEST_GUILESS_MAIN(TestLongTimeFormat)
#include "tst_LongTimeFormat.moc"
