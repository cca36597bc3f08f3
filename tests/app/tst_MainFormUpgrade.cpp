// The main window's upgrade button and look: the real window with its real
// upgrade component, under a Chinese locale, fetching the info file from the
// deployment's upgrade server through libcurl's standard http_proxy, which
// points at a scripted server on 127.0.0.1. The window is not shown, so its
// store pages never load and the only traffic is the upgrade's.

#include "app/Application.h"
#include "app/Ui_MainForm.h"
#include "app/pub_status.h"
#include "browser/BrowserProfile.h"
#include "skins/sSkinSectionProperty.h"
#include "support/ScriptedServer.h"
#include "upgrade/ModalAnswer.h"
#include "upgrade/auUpgraderLang.h"
#include "upgrade/auUpgraderUpgradeMsg.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include <atomic>
#include <functional>
#include <map>
#include <memory>

namespace {

const std::string InfoFileTarget = SHOPSCOPE_UPGRADE_SERVER "/Upgrader.inf";

// The version the server publishes; the server's threads read it.
std::atomic<int> PublishedVersion{3};

void ServeUpgradeServer(const TTestRequest& r, TScriptedConnection& c)
{
    if (r.target != InfoFileTarget) {
        c.Send(TScriptedServer::Response(404, "not here"));
        return;
    }
    const std::string body = "#version=" + std::to_string(PublishedVersion.load()) +
                             "\r\n#message={Faster.}\r\n#url1=" SHOPSCOPE_UPGRADE_SERVER "/files/shopscope\r\n";
    c.Send(TScriptedServer::Response(200, body));
}

} // namespace

class TestMainFormUpgrade : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void upToDateShowsTheNoUpdateBox();
    void newerVersionOfferedAndPutOff();
    void everyControlCarriesItsSkinSection_data();
    void everyControlCarriesItsSkinSection();
    void theFrogIsInForce();

private:
    // Presses the button and waits until the component is idle again.
    void PressUpdateAndWaitIdle(const std::function<bool()>& Answered);
    std::size_t InfoFileRequests() const;

    std::unique_ptr<TScriptedServer> FServer;
    std::unique_ptr<TMainForm> FForm;
};

void TestMainFormUpgrade::initTestCase()
{
    FServer = std::make_unique<TScriptedServer>(ServeUpgradeServer, std::chrono::seconds(240));
    FForm = std::make_unique<TMainForm>(CreateSharedBrowserProfile(qApp));
    Fpub_status = new TFpub_status();
    // libcurl takes the proxy from the environment at each transfer.
    qputenv("http_proxy", QByteArray::fromStdString(FServer->BaseUrl()));
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
}

void TestMainFormUpgrade::cleanupTestCase()
{
    FForm.reset();
    CloseStatus();
    FServer.reset();
}

std::size_t TestMainFormUpgrade::InfoFileRequests() const
{
    std::size_t n = 0;
    for (const TTestRequest& r : FServer->Requests())
        n += r.target == InfoFileTarget;
    return n;
}

void TestMainFormUpgrade::PressUpdateAndWaitIdle(const std::function<bool()>& Answered)
{
    const std::size_t before = InfoFileRequests();
    QVERIFY(!FForm->Upgrader1.InProgress());
    FForm->bbtnUpdate->click();
    QTRY_VERIFY_WITH_TIMEOUT(Answered(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(!FForm->Upgrader1.InProgress(), 30000);
    // The info file came from the deployment's server, through the proxy.
    QCOMPARE(InfoFileRequests(), before + 1);
    QVERIFY(FForm->bbtnUpdate->isEnabled());
}

void TestMainFormUpgrade::upToDateShowsTheNoUpdateBox()
{
    PublishedVersion = 3;
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    TModalAnswer<QMessageBox> answer([&](QMessageBox* box) {
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    PressUpdateAndWaitIdle([&] { return answer.Answered(); });
    QCOMPARE(text, QStringLiteral("没有发现新的版本，您目前已经是最新版本。"));
    QCOMPARE(text, LangStr(24));
    QCOMPARE(caption, QStringLiteral("软件升级精灵"));
    QCOMPARE(caption, LangStr(0));
    QCOMPARE(icon, QMessageBox::Critical);
}

void TestMainFormUpgrade::newerVersionOfferedAndPutOff()
{
    PublishedVersion = 4;
    QString yes, later, message;
    TModalAnswer<TauUpgraderUpgradeMessageForm> answer([&](TauUpgraderUpgradeMessageForm* form) {
        yes = form->YesBtn->text();
        later = form->LaterBtn->text();
        message = form->Label1->text();
        form->LaterBtn->click();
    });
    PressUpdateAndWaitIdle([&] { return answer.Answered(); });
    QCOMPARE(yes, QStringLiteral("开始升级"));
    QCOMPARE(later, QStringLiteral("以后再说"));
    QVERIFY2(message.contains(QStringLiteral("Faster.")), qPrintable(message));
    QCOMPARE(UpgradeMessageForm(), nullptr);
    // Later leaves the program as it was: nothing beyond the info file asked for.
    for (const TTestRequest& r : FServer->Requests())
        QCOMPARE(r.target, InfoFileTarget);
}

void TestMainFormUpgrade::everyControlCarriesItsSkinSection_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("section");
    QTest::newRow("sPanel1") << "sPanel1" << "PANEL";
    QTest::newRow("sLabel1") << "sLabel1" << "LABEL";
    QTest::newRow("etCargao") << "etCargao" << "EDIT";
    QTest::newRow("bbtnFind") << "bbtnFind" << "BUTTON";
    QTest::newRow("sLabel2") << "sLabel2" << "LABEL";
    QTest::newRow("bbtnUpdate") << "bbtnUpdate" << "BUTTON";
    QTest::newRow("pcMain") << "pcMain" << "PAGECONTROL";
    QTest::newRow("StatusBar1") << "StatusBar1" << "STATUSBAR";
    QTest::newRow("Label1 of the status popup") << "Label1" << "LABEL";
}

void TestMainFormUpgrade::everyControlCarriesItsSkinSection()
{
    QFETCH(QString, control);
    QFETCH(QString, section);
    const std::map<QString, QWidget*> controls{
        {"sPanel1", FForm->sPanel1},       {"sLabel1", FForm->sLabel1},   {"etCargao", FForm->etCargao},
        {"bbtnFind", FForm->bbtnFind},     {"sLabel2", FForm->sLabel2},   {"bbtnUpdate", FForm->bbtnUpdate},
        {"pcMain", FForm->pcMain},         {"StatusBar1", FForm->StatusBar1}, {"Label1", Fpub_status->Label1},
    };
    QCOMPARE(SkinSectionOf(controls.at(control)), section);
}

void TestMainFormUpgrade::theFrogIsInForce()
{
    const TSkinData* skin = FForm->sSkinManager1.CurrentSkin();
    QVERIFY(skin);
    QCOMPARE(skin->Name, QStringLiteral("TheFrog (内置)"));
    // sLabel2 keeps its black text through its palette.
    QCOMPARE(FForm->sLabel2->palette().color(QPalette::WindowText), QColor(Qt::black));
    QVERIFY(FForm->sLabel2->styleSheet().isEmpty());
}

int main(int argc, char* argv[])
{
    // The upgrade messages follow the locale the process runs under.
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qputenv("LANG", "zh_CN.UTF-8");
    PrepareBrowserEngine();
    TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("shopscope-test"));
    TestMainFormUpgrade test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MainFormUpgrade.moc"
