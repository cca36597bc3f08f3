// The text of the top-level error box.

#include "app/ErrorHandler.h"

#include <QTest>

class TestErrorHandler : public QObject {
    Q_OBJECT
private slots:
    void fullStop_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Chinese gets a stop") << "请输入搜索商品" << "请输入搜索商品.";
        QTest::newRow("letter") << "Disk full" << "Disk full.";
        QTest::newRow("already a full stop") << "Done." << "Done.";
        QTest::newRow("hyphen is below 46") << "a-" << "a-";
        QTest::newRow("blank is below 46") << "trailing " << "trailing ";
        QTest::newRow("slash is 47") << "path/" << "path/.";
        QTest::newRow("question mark is 63") << "Why?" << "Why?.";
        QTest::newRow("empty") << "" << ".";
    }
    void fullStop()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(ErrorBoxText(message), shown);
    }
};

QTEST_GUILESS_MAIN(TestErrorHandler)
#include "tst_ErrorHandler.moc"
