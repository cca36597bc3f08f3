// The argument rules shared by the program's launching side and the helper.

#include "upgrade/helper/HandOver.h"

#include <QStringList>
#include <QTest>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Arguments(const QStringList& list)
{
    std::vector<std::string> result;
    for (const QString& item : list)
        result.push_back(item.toStdString());
    return result;
}

} // namespace

class tst_HandOver : public QObject {
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void roundTrip_data();
    void roundTrip();
    void unknownMethod();
    void waitLimit_data();
    void waitLimit();
};

void tst_HandOver::read_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("programPath");
    QTest::addColumn<QString>("restartText");
    QTest::addColumn<bool>("setupMode");

    const QString after = QStringLiteral("/afterupgrade");
    QTest::newRow("blank, whole") << QStringList {"/opt/my app/shopscope", "+/afterupgrade0"}
                                  << "/opt/my app/shopscope" << after << false;
    QTest::newRow("two blanks in a row") << QStringList {"/opt/a  b/shopscope", "+/afterupgrade0"}
                                         << "/opt/a  b/shopscope" << after << false;
    QTest::newRow("quotes") << QStringList {"/opt/say \"hi\"/app", "+/afterupgrade0"}
                            << "/opt/say \"hi\"/app" << after << false;
    QTest::newRow("plus, whole") << QStringList {"/opt/c++ 工具+x/app", "+/afterupgrade0"}
                                 << "/opt/c++ 工具+x/app" << after << false;
    QTest::newRow("path beginning with plus") << QStringList {"+app", "+/afterupgrade0"} << "+app" << after << false;
    QTest::newRow("Chinese, set-up") << QStringList {"/home/用户/购物比价/shopscope", "+/afterupgrade1"}
                                     << "/home/用户/购物比价/shopscope" << after << true;
    // A starter that did not keep the path whole: the path is joined again.
    QTest::newRow("split at a blank") << QStringList {"/opt/my", "app/shopscope", "+/afterupgrade0"}
                                      << "/opt/my app/shopscope" << after << false;
    QTest::newRow("split, plus inside a part") << QStringList {"/opt/my", "c++/app", "+/afterupgrade0"}
                                               << "/opt/my c++/app" << after << false;
    QTest::newRow("split, a part beginning with plus") << QStringList {"/opt/a", "+b/app", "+/afterupgrade0"}
                                                       << "/opt/a +b/app" << after << false;
    QTest::newRow("split parameter") << QStringList {"/opt/app", "+/after", "upgrade1"} << "/opt/app"
                                     << "/after upgrade" << true;
    QTest::newRow("split, no parameter") << QStringList {"/opt/my", "app"} << "/opt/my app" << QString() << false;
    // The method digit belongs to the parameter: a path ending in 1 is no set-up.
    QTest::newRow("path ending in 1, no parameter") << QStringList {"/opt/app1"} << "/opt/app1" << QString() << false;
    QTest::newRow("restart parameter of one blank") << QStringList {"/opt/app", "+ 0"} << "/opt/app" << " " << false;
    QTest::newRow("no method digit") << QStringList {"/opt/app", "+/afterupgrade"} << "/opt/app" << after << false;
    QTest::newRow("nothing") << QStringList {} << QString() << QString() << false;
}

void tst_HandOver::read()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, programPath);
    QFETCH(QString, restartText);
    QFETCH(bool, setupMode);

    const handover::THandOver handOver = handover::ReadHandOver(Arguments(arguments));
    QCOMPARE(QString::fromStdString(handOver.ProgramPath), programPath);
    QCOMPARE(QString::fromStdString(handOver.RestartText), restartText);
    QCOMPARE(handOver.SetupMode, setupMode);
}

// What the launching side builds, the helper reads back unchanged.
void tst_HandOver::roundTrip_data()
{
    QTest::addColumn<QString>("programPath");
    QTest::addColumn<QString>("restartParams");
    QTest::addColumn<int>("method");

    QTest::newRow("defaults") << "/opt/shopscope/shopscope" << "/afterupgrade" << handover::MethodSelfUpgrade;
    QTest::newRow("set-up") << "/opt/shopscope/shopscope" << "/afterupgrade" << handover::MethodExternalSetup;
    QTest::newRow("awkward path") << "/home/u/a  \"b\" +c/购物 app" << "/afterupgrade" << handover::MethodSelfUpgrade;
    QTest::newRow("restart parameter with blank and plus") << "/opt/app" << "--after +up 1"
                                                           << handover::MethodSelfUpgrade;
    QTest::newRow("restart parameter ending in a digit") << "/opt/app" << "/v1" << handover::MethodExternalSetup;
}

void tst_HandOver::roundTrip()
{
    QFETCH(QString, programPath);
    QFETCH(QString, restartParams);
    QFETCH(int, method);

    const std::string parameter = handover::HandOverParameter(restartParams.toStdString(), method);
    QCOMPARE(parameter, "+" + restartParams.toStdString() + std::to_string(method));
    const std::vector<std::string> command =
        handover::HelperCommand("/tmp/Upgrader3.exe", programPath.toStdString(), parameter);
    QCOMPARE(command.front(), "/tmp/Upgrader3.exe");
    const handover::THandOver handOver = handover::ReadHandOver({command.begin() + 1, command.end()});
    QCOMPARE(QString::fromStdString(handOver.ProgramPath), programPath);
    QCOMPARE(QString::fromStdString(handOver.RestartText), restartParams);
    QCOMPARE(handOver.SetupMode, method == handover::MethodExternalSetup);
}

void tst_HandOver::unknownMethod()
{
    // umRedirectToURL never reaches the helper; a digit it would misread is refused.
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, handover::HandOverParameter("/afterupgrade", 2));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, handover::HandOverParameter("/afterupgrade", -1));
}

void tst_HandOver::waitLimit_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("set");
    QTest::addColumn<int>("limit");

    QTest::newRow("unset") << QByteArray() << false << handover::DefaultWaitLimitMs;
    QTest::newRow("empty") << QByteArray("") << true << handover::DefaultWaitLimitMs;
    QTest::newRow("milliseconds") << QByteArray("300") << true << 300;
    QTest::newRow("zero") << QByteArray("0") << true << 0;
    QTest::newRow("negative") << QByteArray("-5") << true << handover::DefaultWaitLimitMs;
    QTest::newRow("trailing text") << QByteArray("300ms") << true << handover::DefaultWaitLimitMs;
    QTest::newRow("too large") << QByteArray("99999999999") << true << handover::DefaultWaitLimitMs;
}

void tst_HandOver::waitLimit()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, set);
    QFETCH(int, limit);
    QCOMPARE(handover::WaitLimitMs(set ? value.constData() : nullptr), limit);
}

QTEST_GUILESS_MAIN(tst_HandOver)
#include "tst_HandOver.moc"
