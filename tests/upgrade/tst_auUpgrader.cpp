// The upgrade component without a server: its settings and their defaults,
// the restart detection of Loaded, the version dates and the version
// decision, and the automatic check's timer being refused.

#include "upgrade/auUpgrader.h"
#include "upgrade/helper/HandOver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <thread>

namespace QTest {
template <>
inline char* toString(const std::string& value)
{
    return toString(QByteArray::fromStdString(value));
}
} // namespace QTest

using TArgs = std::vector<std::string>;
Q_DECLARE_METATYPE(TArgs)

class TestUpgrader : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void construction();
    void staleHelperDeleted();
    void restartParams_data();
    void restartParams();
    void versionDateAutoSet();
    void loaded_data();
    void loaded();
    void formatVersionDate_data();
    void formatVersionDate();
    void parseVersionDate_data();
    void parseVersionDate();
    void newerByNumber_data();
    void newerByNumber();
    void newerByDate_data();
    void newerByDate();
    void timerRefused();

private:
    QTemporaryDir FTemp;
};

void TestUpgrader::initTestCase()
{
    // The stale helper is deleted from the temporary folder: a private one,
    // so that no other program's file is touched.
    QVERIFY(FTemp.isValid());
    qputenv("TMPDIR", FTemp.path().toUtf8());
}

void TestUpgrader::construction()
{
    TauUpgrader u;
    // The engine's part, published again.
    QCOMPARE(u.Proxy().AccessType(), atPreconfig);
    QCOMPARE(u.ThreadPriority(), tpNormal);
    QCOMPARE(u.TransferBufferSize(), 4096);
    QCOMPARE(u.HTTPUsername(), std::string());
    QCOMPARE(u.HTTPPassword(), std::string());
    QVERIFY(u.HideOutputFile());
    // Every engine event the component needs is bound to it.
    QVERIFY(u.OnHeaderInfo && u.OnDone && u.OnDeclined && u.OnTransferProgress && u.OnConnectionLost &&
            u.OnNoResponse && u.OnHTTPError && u.OnLoginRequest && u.OnFailure);

    QVERIFY(!u.AutoCheck());
    QCOMPARE(u.InfoFileURL(), std::string("http://"));
    QCOMPARE(u.RestartParams(), std::string("/afterupgrade"));
    QVERIFY(!u.RestartParamsStored());
    QCOMPARE(u.MiscFilesUpgrade(), mfuAlwaysDownload);
    QCOMPARE(u.VersionControl(), byDate);
    QCOMPARE(u.VersionDate(), TauUpgrader::FormatVersionDate(QDate::currentDate()));
    QVERIFY(u.VersionDateAutoSet());
    QCOMPARE(u.VersionNumber(), std::string());
    QCOMPARE(u.ShowMessages().Byte(), std::uint8_t(75));
    QVERIFY(u.ShowMessages() ==
            TauUpgraderShowMessages({mAskUpgrade, mConnLost, mLostFile, mPasswordRequest}));
    QVERIFY(!u.InProgress());

    QVERIFY(u.InfoFile().Files().empty());
    QCOMPARE(u.InfoFile().UpgradeMethod(), umSelfUpgrade);
    QCOMPARE(u.InfoFile().UpgradeMsg(), std::string());
    QVERIFY(u.Wizard().Enabled());
    QVERIFY(u.Wizard().Pic118x218().isNull());
    QCOMPARE(u.Wizard().Language(), wlAuto);
    QVERIFY(u.Wizard().StayOnTop());
    // The language is chosen at construction: the texts exist.
    QVERIFY(LangBase() != 0);
    QVERIFY(!LangStr(0).isEmpty());

    QVERIFY(!u.OnBeginUpgrade && !u.OnEndUpgrade && !u.OnLaterUpgrade && !u.OnProgress && !u.OnFileStart &&
            !u.OnFileDone && !u.OnDoOwnCloseAppMethod && !u.OnAfterRestart && !u.OnAborted && !u.OnConnLost &&
            !u.OnHostUnreachable && !u.OnNoUpdateAvailable && !u.OnNoInfoFile && !u.OnLostFile &&
            !u.OnPasswordRequest);
    // The password window is the component's own.
    QVERIFY(u.PasswordWindow);

    // The language setter chooses for the whole process.
    u.Wizard().SetLanguage(wlChineseSimplified);
    QCOMPARE(LangStr(0), QStringLiteral("软件升级精灵"));
    u.Wizard().SetLanguage(wlEnglish);
    QCOMPARE(LangStr(0), QStringLiteral("Application update wizard"));
}

void TestUpgrader::staleHelperDeleted()
{
    const QString helper = QDir(FTemp.path()).filePath(QString::fromUtf8(handover::HelperFileName));
    QFile file(helper);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    { TauUpgrader u; }
    QVERIFY(!QFile::exists(helper));
    // A missing file is no error.
    TauUpgrader again;
    QVERIFY(!QFile::exists(helper));
}

void TestUpgrader::restartParams_data()
{
    QTest::addColumn<std::string>("value");
    QTest::addColumn<std::string>("reads");
    QTest::addColumn<bool>("stored");
    QTest::newRow("default") << std::string("/afterupgrade") << std::string("/afterupgrade") << false;
    QTest::newRow("other") << std::string("/restarted") << std::string("/restarted") << true;
    QTest::newRow("empty reads as one space") << std::string() << std::string(" ") << true;
    QTest::newRow("a space") << std::string(" ") << std::string(" ") << true;
}

void TestUpgrader::restartParams()
{
    QFETCH(std::string, value);
    QFETCH(std::string, reads);
    QFETCH(bool, stored);
    TauUpgrader u;
    u.SetRestartParams(value);
    QCOMPARE(u.RestartParams(), reads);
    QCOMPARE(u.RestartParamsStored(), stored);
}

void TestUpgrader::versionDateAutoSet()
{
    // The program never runs in a form designer: the stored date stays.
    TauUpgrader u;
    u.SetVersionDate("06/08/2011");
    u.SetVersionDateAutoSet(false);
    u.SetVersionDateAutoSet(true);
    QVERIFY(u.VersionDateAutoSet());
    QCOMPARE(u.VersionDate(), std::string("06/08/2011"));
}

void TestUpgrader::loaded_data()
{
    QTest::addColumn<TArgs>("arguments");
    QTest::addColumn<std::string>("restartParams");
    QTest::addColumn<int>("fired");
    const std::string standard = "/afterupgrade";
    QTest::newRow("first parameter") << TArgs{"/afterupgrade"} << standard << 1;
    QTest::newRow("first of two") << TArgs{"/afterupgrade", "more"} << standard << 1;
    QTest::newRow("no parameter") << TArgs{} << standard << 0;
    QTest::newRow("second parameter") << TArgs{"x", "/afterupgrade"} << standard << 0;
    QTest::newRow("other case") << TArgs{"/AFTERUPGRADE"} << standard << 0;
    QTest::newRow("with the method digit") << TArgs{"/afterupgrade0"} << standard << 0;
    QTest::newRow("with a blank") << TArgs{"/afterupgrade "} << standard << 0;
    QTest::newRow("own restart text") << TArgs{"--restarted"} << std::string("--restarted") << 1;
    QTest::newRow("empty restart text matches nothing") << TArgs{""} << std::string() << 0;
    QTest::newRow("empty restart text, a blank") << TArgs{" "} << std::string() << 1;
}

void TestUpgrader::loaded()
{
    QFETCH(TArgs, arguments);
    QFETCH(std::string, restartParams);
    QFETCH(int, fired);
    TauUpgrader u;
    u.SetCommandLine(arguments);
    int count = 0;
    std::string seenParams;
    u.OnAfterRestart = [&](TauUpgrader& sender) {
        QCOMPARE(&sender, &u);
        ++count;
        seenParams = sender.RestartParams();
    };
    // Stored values come first, then Loaded.
    u.SetRestartParams(restartParams);
    u.Loaded();
    QCOMPARE(count, fired);
    if (fired)
        QCOMPARE(seenParams, u.RestartParams());
}

void TestUpgrader::formatVersionDate_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<std::string>("text");
    QTest::newRow("8 June 2011") << QDate(2011, 6, 8) << std::string("06/08/2011");
    QTest::newRow("31 December 1999") << QDate(1999, 12, 31) << std::string("12/31/1999");
    QTest::newRow("year 11") << QDate(11, 7, 15) << std::string("07/15/0011");
}

void TestUpgrader::formatVersionDate()
{
    QFETCH(QDate, date);
    QFETCH(std::string, text);
    QCOMPARE(TauUpgrader::FormatVersionDate(date), text);
    QCOMPARE(TauUpgrader::ParseVersionDate(text), date);
}

void TestUpgrader::parseVersionDate_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<QDate>("date");  // null: today
    QTest::newRow("publisher's date") << std::string("07/15/2011") << QDate(2011, 7, 15);
    QTest::newRow("no leading zeros") << std::string("7/5/2011") << QDate(2011, 7, 5);
    QTest::newRow("two-digit year") << std::string("07/15/11") << QDate(11, 7, 15);
    QTest::newRow("leap day") << std::string("02/29/2012") << QDate(2012, 2, 29);
    QTest::newRow("no leap day") << std::string("02/29/2011") << QDate();
    QTest::newRow("day first") << std::string("15/07/2011") << QDate();
    QTest::newRow("empty") << std::string() << QDate();
    QTest::newRow("one slash") << std::string("07/2011") << QDate();
    QTest::newRow("third slash") << std::string("07/15/2011/") << QDate();
    QTest::newRow("blank before") << std::string(" 07/15/2011") << QDate();
    QTest::newRow("blank after") << std::string("07/15/2011 ") << QDate();
    QTest::newRow("dots") << std::string("07.15.2011") << QDate();
    QTest::newRow("letters") << std::string("Jul/15/2011") << QDate();
    QTest::newRow("empty part") << std::string("07//2011") << QDate();
    QTest::newRow("year 0") << std::string("07/15/0") << QDate();
    QTest::newRow("year 10000") << std::string("07/15/10000") << QDate();
    QTest::newRow("huge number") << std::string("07/15/99999999999999999999") << QDate();
    QTest::newRow("signs") << std::string("+07/+15/+2011") << QDate(2011, 7, 15);
    QTest::newRow("negative month") << std::string("-7/15/2011") << QDate();
}

void TestUpgrader::parseVersionDate()
{
    QFETCH(std::string, text);
    QFETCH(QDate, date);
    // Read "today" around the call, so that midnight cannot tip the row.
    const QDate before = QDate::currentDate();
    const QDate parsed = TauUpgrader::ParseVersionDate(text);
    const QDate after = QDate::currentDate();
    if (date.isNull())
        QVERIFY2(parsed == before || parsed == after, qPrintable(parsed.toString()));
    else
        QCOMPARE(parsed, date);
}

void TestUpgrader::newerByNumber_data()
{
    QTest::addColumn<std::string>("own");
    QTest::addColumn<std::string>("file");
    QTest::addColumn<bool>("newer");
    const std::string three = "3";
    QTest::newRow("3.1 over 3") << three << std::string("#version=3.1") << true;
    QTest::newRow("3.0 over 3") << three << std::string("#version=3.0") << false;
    QTest::newRow("3 over 3") << three << std::string("#version=3") << false;
    QTest::newRow("3.0.0.0 over 3") << three << std::string("#version=3.0.0.0") << false;
    QTest::newRow("2.9 over 3") << three << std::string("#version=2.9") << false;
    QTest::newRow("4 over 3") << three << std::string("#Version=4\r\n") << true;
    QTest::newRow("3.10 over 3.9") << std::string("3.9") << std::string("#version=3.10") << true;
    QTest::newRow("fifth part ignored") << std::string("1.2.3.4") << std::string("#version=1.2.3.4.5") << false;
    QTest::newRow("3a over 3: text") << three << std::string("#version=3a") << true;
    QTest::newRow("3 beta over 3: text") << three << std::string("#version=3 beta") << true;
    QTest::newRow("2.x over 3: text") << three << std::string("#version=2.x") << false;
    QTest::newRow("missing") << three << std::string("#date=07/15/2099") << false;
    QTest::newRow("empty") << three << std::string("#version=\r\n") << false;
    QTest::newRow("missing, own empty") << std::string() << std::string() << false;
    QTest::newRow("any over empty own") << std::string() << std::string("#version=0.1") << true;
}

void TestUpgrader::newerByNumber()
{
    QFETCH(std::string, own);
    QFETCH(std::string, file);
    QFETCH(bool, newer);
    TauUpgrader u;
    u.SetVersionControl(byNumber);
    u.SetVersionNumber(own);
    QCOMPARE(u.IsNewerVersion(TauInfoFileText(file)), newer);
}

void TestUpgrader::newerByDate_data()
{
    QTest::addColumn<std::string>("own");
    QTest::addColumn<std::string>("file");
    QTest::addColumn<bool>("newer");
    const std::string own = "06/08/2011";
    QTest::newRow("later") << own << std::string("#date=07/15/2011") << true;
    QTest::newRow("next day") << own << std::string("#date=06/09/2011") << true;
    QTest::newRow("same day") << own << std::string("#date=06/08/2011") << false;
    QTest::newRow("earlier") << own << std::string("#date=06/07/2011") << false;
    QTest::newRow("two-digit year is old") << own << std::string("#date=07/15/11") << false;
    QTest::newRow("missing counts as today") << own << std::string("#version=9") << true;
    QTest::newRow("unreadable counts as today") << own << std::string("#date=soon") << true;
    QTest::newRow("version number not read") << own << std::string("#version=9\n#date=01/01/2000") << false;
    QTest::newRow("own unreadable, later") << std::string("x") << std::string("#date=01/01/9999") << true;
}

void TestUpgrader::newerByDate()
{
    QFETCH(std::string, own);
    QFETCH(std::string, file);
    QFETCH(bool, newer);
    TauUpgrader u;
    u.SetVersionDate(own);
    QCOMPARE(u.IsNewerVersion(TauInfoFileText(file)), newer);
}

void TestUpgrader::timerRefused()
{
    // A thread without an event loop has no timers to give: the setter
    // raises, and the component stays usable and destructible.
    std::optional<std::string> error;
    bool stored = false;
    std::thread([&] {
        TauUpgrader u;
        try {
            u.SetAutoCheck(true);
        } catch (const EOutOfResources& e) {
            error = e.what();
        }
        stored = u.AutoCheck();
    }).join();
    QVERIFY(error.has_value());
    QCOMPARE(*error, std::string("Not enough timers available"));
    QVERIFY(stored);
}

QTEST_GUILESS_MAIN(TestUpgrader)
#include "tst_auUpgrader.moc"
