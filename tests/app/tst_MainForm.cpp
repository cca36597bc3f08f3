// The real main window with nine real Qt WebEngine views, against store pages
// served through a local proxy on 127.0.0.1.

#include "app/Application.h"
#include "app/ErrorHandler.h"
#include "app/ScreenCursor.h"
#include "app/StorePages.h"
#include "app/Ui_MainForm.h"
#include "app/pub_status.h"
#include "browser/BrowserProfile.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

namespace {

constexpr int LoadTimeoutMs = 20000;

TStoreCatalogue::THostTable TestHosts()
{
    TStoreCatalogue::THostTable hosts;
    for (std::size_t i = 0; i < hosts.size(); ++i)
        hosts[i] = {"s" + std::to_string(i + 1) + ".test", "q" + std::to_string(i + 1) + ".test"};
    return hosts;
}

TScriptedServer* Proxy = nullptr;

// Every address the stores were asked for, as "host/path?query".
QStringList Requested()
{
    QStringList addresses;
    for (const TTestRequest& r : Proxy->Requests()) {
        const TProxyTarget t = SplitProxyTarget(r.target);
        if (!t.Host.empty() && t.PathAndQuery != "/favicon.ico")
            addresses << QString::fromStdString(t.Host + t.PathAndQuery);
    }
    return addresses;
}

// Closes the next error box and remembers what it said.
class TBoxWatcher : public QObject {
public:
    TBoxWatcher()
    {
        connect(&FTimer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Title = box->windowTitle();
                Text = box->text();
                Icon = box->icon();
                box->done(QMessageBox::Ok);
                ++Shown;
            }
        });
        FTimer.start(20);
    }
    int Shown = 0;
    QString Title, Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;

private:
    QTimer FTimer;
};

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void layoutAndStatusBar();
    void startUpLoadsHomePagesThenRelays();
    void searchDispatchesAllStores();
    void searchWithGbkGomePage();
    void keywordsNeverCrash_data();
    void keywordsNeverCrash();
    void blankKeywordIsRefused();
    void enterWithModifiersSearches_data();
    void enterWithModifiersSearches();
    void gomePageWithoutSubmitButton();
    void rightClickOpensOurMenuInEveryTab();
    void selectionSearch();
    void selectionSearchWithNothingSelected();
    void refusedHomePageStopsTheRestAndShowsTheError();
    void copyAndPasteKeys();

private:
    void WaitForRequest(const QString& address);
    void WaitLoaded(TWebBrowser& browser, const QString& pathAndQuery = {});
    void Search(const QString& keyword);
    // Until every tab has finished loading, earlier searches still send requests.
    void WaitAllLoaded();

    QWebEngineProfile* FProfile = nullptr;
    std::unique_ptr<TMainForm> FForm;
};

void TestMainForm::WaitForRequest(const QString& address)
{
    QTRY_VERIFY2_WITH_TIMEOUT(Requested().contains(address), qPrintable(u"no request for " + address), LoadTimeoutMs);
}

void TestMainForm::WaitLoaded(TWebBrowser& browser, const QString& pathAndQuery)
{
    QTRY_VERIFY_WITH_TIMEOUT(browser.ReadyState() == TBrowserOperations::ReadyStateComplete &&
                                 (pathAndQuery.isEmpty() || browser.url().toString(QUrl::FullyEncoded).endsWith(pathAndQuery)),
                             LoadTimeoutMs);
}

void TestMainForm::WaitAllLoaded()
{
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(FForm->WB.begin(), FForm->WB.end(),
                                         [](TWebBrowser* b) { return b->ReadyState() == TBrowserOperations::ReadyStateComplete; }),
                             LoadTimeoutMs);
}

void TestMainForm::Search(const QString& keyword)
{
    FForm->etCargao->setText(keyword);
    QTest::mouseClick(FForm->bbtnFind, Qt::LeftButton);
}

void TestMainForm::initTestCase()
{
    FProfile = CreateSharedBrowserProfile(qApp);
    FForm = std::make_unique<TMainForm>(FProfile, TStoreCatalogue(TestHosts()));
    Fpub_status = new TFpub_status();
    FForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
}

void TestMainForm::cleanupTestCase()
{
    FForm.reset();
    CloseStatus();
}

void TestMainForm::layoutAndStatusBar()
{
    QCOMPARE(FForm->windowTitle(), QStringLiteral("Shopscope V1.1.610"));
    QCOMPARE(FForm->pcMain->count(), 9);
    const QStringList captions{"京东商城", "新蛋", "淘宝", "丽家宝贝", "红孩子", "当当网", "卓越网", "国美电器", "中国工商银行商城"};
    for (int i = 0; i < 9; ++i)
        QCOMPARE(FForm->pcMain->tabText(i), captions[i]);
    QCOMPARE(FForm->pcMain->currentIndex(), 0);
    QCOMPARE(FForm->bbtnFind->text(), QStringLiteral("搜索"));
    QCOMPARE(FForm->bbtnUpdate->text(), QStringLiteral("软件升级"));
    QCOMPARE(FForm->sLabel2->text(), QStringLiteral("（选产品型号等关键词，点右键继续搜索）"));
    QCOMPARE(FForm->etCargao->geometry(), QRect(42, 11, 234, 20));
    QCOMPARE(FForm->sPanel1->height(), 41);
    QCOMPARE(FForm->etCargao->font().pixelSize(), 12);
    // Chinese must come out of a real CJK face, not boxes.
    QVERIFY2(QFontInfo(FForm->sLabel2->font()).family().contains(QStringLiteral("CJK")),
             qPrintable(QFontInfo(FForm->sLabel2->font()).family()));

    QCOMPARE(FForm->StatusPanels[0]->text(), QStringLiteral("网站： www.shopscope.cn"));
    QVERIFY(FForm->StatusPanels[2]->text().startsWith(QStringLiteral("支持QQ：")));
    QCOMPARE(FForm->StatusPanels[5]->text(),
             QStringLiteral("今天是：") + QDate::currentDate().toString(QStringLiteral("yyyy年MM月dd日")));
    QVERIFY(FForm->StatusPanels[6]->text().startsWith(QStringLiteral("进入时间：")));
    const std::array<int, 7> widths{200, 0, 200, 0, 0, 150, 130};
    for (std::size_t i = 0; i < widths.size(); ++i)
        QCOMPARE(FForm->StatusPanels[i]->width() * int(FForm->StatusPanels[i]->isVisible()), widths[i]);
}

void TestMainForm::startUpLoadsHomePagesThenRelays()
{
    for (const TStoreEntry& store : FForm->Catalogue())
        WaitForRequest(QString::fromStdString(store.MainHost + PathAsSent(store.HomeAddress())));
    // Once the Gome home page has loaded, both relay stores follow with an
    // empty keyword.
    WaitForRequest(QStringLiteral("s5.test/search?keyword=&Site=01&=%CB%D1%CB%F7"));
    WaitForRequest(QStringLiteral("s9.test/icbc/%E7%BD%91%E4%B8%8A%E5%95%86%E5%9F%8E/%E5%B8%AE%E5%8A%A9%E4%B8%AD%E5%BF%83/"
                                  "search.htm?keyword=&type=%E5%85%A8%E9%83%A8%E5%88%86%E7%B1%BB"));
    WaitLoaded(FForm->Browser(8), QStringLiteral("s8.test/"));
}

void TestMainForm::searchDispatchesAllStores()
{
    SetScreenCursor(crHourGlass);  // whatever was set before, the default follows
    Search(QStringLiteral("  abc  "));
    QCOMPARE(FForm->etCargao->text(), QStringLiteral("  abc  "));
    QVERIFY(!Fpub_status);
    QCOMPARE(ScreenCursor(), crDefault);
    QVERIFY(!QApplication::overrideCursor());

    for (const QString& address : {QStringLiteral("q1.test/Search?keyword=abc"), QStringLiteral("s2.test/Search.aspx?keyword=abc"),
                                   QStringLiteral("q3.test/search?q=abc&keyword=&commend=all&ssid=s5-e&search_type=item&atype=&tracelog=&sourceId=tb.index"),
                                   QStringLiteral("s4.test/eshop/search.aspx?keys=abc"),
                                   QStringLiteral("q6.test/search.php?key=abc&SearchFromTop=1&catalog="),
                                   QStringLiteral("s7.test/s/ref=nb_sb_noss?__mk_zh_CN=%E4%BA%9A%E9%A9%AC%E9%80%8A%E7%BD%91%E7%AB%99&url=search-alias%3Daps&field-keywords=abc&x=29&y=21"),
                                   QStringLiteral("s8.test/search?keyword=abc"),
                                   QStringLiteral("s5.test/search?keyword=abc&Site=01&=%CB%D1%CB%F7"),
                                   QStringLiteral("s9.test/icbc/%E7%BD%91%E4%B8%8A%E5%95%86%E5%9F%8E/%E5%B8%AE%E5%8A%A9%E4%B8%AD%E5%BF%83/search.htm?keyword=abc&type=%E5%85%A8%E9%83%A8%E5%88%86%E7%B1%BB")})
        WaitForRequest(address);
    // The tabs show the addresses with the escapes as sent.
    WaitLoaded(FForm->Browser(7), QStringLiteral("search-alias%3Daps&field-keywords=abc&x=29&y=21"));
    WaitLoaded(FForm->Browser(5), QStringLiteral("keyword=abc&Site=01&=%CB%D1%CB%F7"));
}

void TestMainForm::searchWithGbkGomePage()
{
    TWebBrowser& gome = FForm->Browser(8);
    gome.Navigate("http://s8.test/gbk");
    WaitLoaded(gome, QStringLiteral("s8.test/gbk"));
    Search(QStringLiteral("中文"));
    // The GBK page escapes the keyword in GBK; the relay passes it on as is.
    WaitForRequest(QStringLiteral("s8.test/search?keyword=%D6%D0%CE%C4"));
    WaitForRequest(QStringLiteral("s5.test/search?keyword=%D6%D0%CE%C4&Site=01&=%CB%D1%CB%F7"));
    WaitForRequest(QStringLiteral("s9.test/icbc/%E7%BD%91%E4%B8%8A%E5%95%86%E5%9F%8E/%E5%B8%AE%E5%8A%A9%E4%B8%AD%E5%BF%83/"
                                  "search.htm?keyword=%D6%D0%CE%C4&type=%E5%85%A8%E9%83%A8%E5%88%86%E7%B1%BB"));
    // The direct stores get the keyword as the browser escapes it (UTF-8).
    WaitForRequest(QStringLiteral("q1.test/Search?keyword=%E4%B8%AD%E6%96%87"));
    gome.Navigate("http://s8.test/");
    WaitLoaded(gome, QStringLiteral("s8.test/"));
}

void TestMainForm::keywordsNeverCrash_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("jdRequest");
    QTest::newRow("ampersand makes a parameter") << "a&b=1" << "q1.test/Search?keyword=a&b=1";
    QTest::newRow("inner blank") << "a b" << "q1.test/Search?keyword=a%20b";
    QTest::newRow("hash starts the fragment") << "x1#frag" << "q1.test/Search?keyword=x1";
    QTest::newRow("stray percent") << "50%off" << "q1.test/Search?keyword=50%25off";
    QTest::newRow("control character inside") << QStringLiteral("c\x01") + QStringLiteral("d") << "q1.test/Search?keyword=c%01d";
    QTest::newRow("10000 characters") << QString(10000, QLatin1Char('k')) << QStringLiteral("q1.test/Search?keyword=") + QString(10000, QLatin1Char('k'));
}

void TestMainForm::keywordsNeverCrash()
{
    QFETCH(QString, keyword);
    QFETCH(QString, jdRequest);
    TBoxWatcher boxes;
    Search(keyword);
    WaitForRequest(jdRequest);
    QCOMPARE(boxes.Shown, 0);
}

void TestMainForm::blankKeywordIsRefused()
{
    WaitAllLoaded();
    QApplication::setOverrideCursor(Qt::CrossCursor);
    FForm->bbtnUpdate->setFocus();
    const qsizetype before = Requested().size();
    Fpub_status = new TFpub_status();
    QPointer<TFpub_status> popup = Fpub_status;

    TBoxWatcher boxes;
    Search(QStringLiteral(" \t  "));
    QTRY_COMPARE(boxes.Shown, 1);
    QCOMPARE(boxes.Title, QStringLiteral("Shopscope"));
    QCOMPARE(boxes.Text, QStringLiteral("请输入搜索商品."));
    QCOMPARE(boxes.Icon, QMessageBox::Critical);
    QCOMPARE(FForm->focusWidget(), FForm->etCargao);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QVERIFY(popup && !popup->isVisible());
    QTest::qWait(300);
    QCOMPARE(Requested().size(), before);
    SetScreenCursor(crDefault);
    CloseStatus();
}

void TestMainForm::enterWithModifiersSearches_data()
{
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::NoModifier) << int(Qt::Key_Return);
    QTest::newRow("Shift+Enter") << int(Qt::ShiftModifier) << int(Qt::Key_Return);
    QTest::newRow("Ctrl+Enter") << int(Qt::ControlModifier) << int(Qt::Key_Return);
    QTest::newRow("keypad Enter with Alt") << int(Qt::AltModifier | Qt::KeypadModifier) << int(Qt::Key_Enter);
}

void TestMainForm::enterWithModifiersSearches()
{
    QFETCH(int, modifiers);
    QFETCH(int, key);
    const QString keyword = QStringLiteral("enter%1x%2").arg(modifiers).arg(key);
    FForm->etCargao->setText(keyword);
    FForm->etCargao->setFocus();
    QTest::keyClick(FForm->etCargao, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    WaitForRequest(QStringLiteral("q1.test/Search?keyword=") + keyword);
}

void TestMainForm::gomePageWithoutSubmitButton()
{
    TWebBrowser& gome = FForm->Browser(8);
    gome.Navigate("http://s8.test/nobutton");
    WaitLoaded(gome, QStringLiteral("/nobutton"));
    const int relayed = int(Requested().filter(QStringLiteral("s5.test/search?keyword=")).size());
    Search(QStringLiteral("nobtn"));
    WaitForRequest(QStringLiteral("s7.test/s/ref=nb_sb_noss?__mk_zh_CN=%E4%BA%9A%E9%A9%AC%E9%80%8A%E7%BD%91%E7%AB%99&url=search-alias%3Daps&field-keywords=nobtn&x=29&y=21"));
    QCOMPARE(gome.RunScript(QStringLiteral("document.getElementById('keyword').value")).toString(), QStringLiteral("nobtn"));
    QTest::qWait(300);
    QVERIFY(!Requested().contains(QStringLiteral("s8.test/search?keyword=nobtn")));
    QCOMPARE(int(Requested().filter(QStringLiteral("s5.test/search?keyword=")).size()), relayed);
    gome.Navigate("http://s8.test/");
    WaitLoaded(gome, QStringLiteral("s8.test/"));
}

void TestMainForm::rightClickOpensOurMenuInEveryTab()
{
    QCOMPARE(FForm->pm1->actions().size(), 1);
    QCOMPARE(FForm->pm1->actions().first()->text(), QStringLiteral("搜索"));
    for (int position = 1; position <= 9; ++position) {
        TWebBrowser& browser = FForm->Browser(position);
        FForm->pcMain->setCurrentIndex(position - 1);
        QTRY_VERIFY(browser.isVisible() && browser.focusProxy() && browser.focusProxy()->isVisible());
        QWidget* page = browser.focusProxy();
        for (const bool press : {true, false}) {
            const QPoint at = page->mapToGlobal(QPoint(40 + position, 30));
            QCursor::setPos(at);
            FForm->PopupComponent = nullptr;
            if (press)
                QTest::mousePress(page, Qt::RightButton, {}, QPoint(40 + position, 30));
            else
                QTest::mouseRelease(page, Qt::RightButton, {}, QPoint(40 + position, 30));
            QTRY_VERIFY(FForm->pm1->isVisible());
            QCOMPARE(FForm->PopupComponent, &browser);
            QCOMPARE(FForm->pm1->pos(), at);
            // Never the engine's own menu: ours is the only one open.
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<QMenu*>(w) && w != FForm->pm1)
                    QVERIFY(!w->isVisible());
            FForm->pm1->close();
            QTRY_VERIFY(!FForm->pm1->isVisible());
        }
    }
    // Outside the browsers the right button keeps its ordinary meaning.
    QTest::mousePress(FForm->etCargao, Qt::RightButton);
    QVERIFY(!FForm->pm1->isVisible());
    QTest::mouseRelease(FForm->etCargao, Qt::RightButton);
    QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget() : FForm.get(), Qt::Key_Escape);
    FForm->pcMain->setCurrentIndex(0);
}

void TestMainForm::selectionSearch()
{
    TWebBrowser& taobao = FForm->Browser(3);
    WaitLoaded(taobao);
    FForm->pcMain->setCurrentIndex(2);
    taobao.RunScript(QStringLiteral("window.getSelection().selectAllChildren(document.getElementById('sel')); true"));
    QTRY_COMPARE(taobao.page()->selectedText(), QStringLiteral("  abc  "));

    QTest::mousePress(taobao.focusProxy(), Qt::RightButton, {}, QPoint(20, 20));
    QTRY_VERIFY(FForm->pm1->isVisible());
    const int before = int(Requested().filter(QStringLiteral("s4.test/eshop/search.aspx?keys=abc")).size());
    FForm->N1->trigger();
    FForm->pm1->close();
    // Shown with its blanks, searched without them.
    QCOMPARE(FForm->etCargao->text(), QStringLiteral("  abc  "));
    QTRY_VERIFY_WITH_TIMEOUT(Requested().filter(QStringLiteral("s4.test/eshop/search.aspx?keys=abc")).size() > before,
                             LoadTimeoutMs);
    FForm->pcMain->setCurrentIndex(0);
}

void TestMainForm::selectionSearchWithNothingSelected()
{
    TWebBrowser& jd = FForm->Browser(1);
    WaitLoaded(jd);
    jd.RunScript(QStringLiteral("window.getSelection().removeAllRanges(); true"));
    QTRY_COMPARE(jd.page()->selectedText(), QString());
    FForm->etCargao->setText(QStringLiteral("kept?"));
    WaitAllLoaded();
    const qsizetype before = Requested().size();

    TBoxWatcher boxes;
    FForm->PopupComponent = &jd;
    FForm->N1->trigger();
    QCOMPARE(FForm->etCargao->text(), QString());
    QCOMPARE(FForm->focusWidget(), FForm->etCargao);
    QTest::qWait(300);
    QCOMPARE(boxes.Shown, 0);
    QCOMPARE(Requested().size(), before);
}

void TestMainForm::refusedHomePageStopsTheRestAndShowsTheError()
{
    TStoreCatalogue::THostTable hosts = TestHosts();
    hosts[2].Main = "bad host";  // no browser takes a blank in a host name
    TBoxWatcher boxes;
    TMainForm form(FProfile, TStoreCatalogue(hosts));
    form.show();
    QTRY_COMPARE(boxes.Shown, 1);
    QCOMPARE(boxes.Title, QStringLiteral("Shopscope"));
    QCOMPARE(boxes.Text, QStringLiteral("无法打开网址“http://bad host/”."));
    QVERIFY(form.Browser(1).ReadyState() != TBrowserOperations::ReadyStateUninitialized);
    QVERIFY(form.Browser(2).ReadyState() != TBrowserOperations::ReadyStateUninitialized);
    for (int position = 3; position <= 9; ++position)
        QCOMPARE(form.Browser(position).ReadyState(), int(TBrowserOperations::ReadyStateUninitialized));
}

void TestMainForm::copyAndPasteKeys()
{
    // Ctrl+C aimed at a page goes to the page first: its selection is copied.
    TWebBrowser& jd = FForm->Browser(1);
    FForm->pcMain->setCurrentIndex(0);
    WaitLoaded(jd);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    jd.RunScript(QStringLiteral("window.getSelection().selectAllChildren(document.getElementById('sel')); true"));
    QTRY_COMPARE(jd.page()->selectedText(), QStringLiteral("  abc  "));
    jd.focusProxy()->setFocus();
    QTest::keyClick(jd.focusProxy(), Qt::Key_C, Qt::ControlModifier);
    QTRY_COMPARE(QApplication::clipboard()->text(), QStringLiteral("  abc  "));

    // Ctrl+V in the keyword box pastes the clipboard's text there, once.
    FForm->etCargao->clear();
    FForm->etCargao->setFocus();
    QTest::keyClick(FForm->etCargao, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(FForm->etCargao->text(), QStringLiteral("  abc  "));
}

int main(int argc, char* argv[])
{
    TScriptedServer proxy([](const TTestRequest& r, TScriptedConnection& c) { ServeStorePage(r, c, "s8.test"); },
                          std::chrono::seconds(600));
    Proxy = &proxy;
    // The engine's standard proxy setting sends every store host to us.
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + " --proxy-server=127.0.0.1:" +
                             QByteArray::number(proxy.Port()) + " --proxy-bypass-list=<-loopback>";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    PrepareBrowserEngine();
    QApplication app(argc, argv);
    InstallFontSubstitutes();
    app.setApplicationName(QStringLiteral("shopscope-test"));
    TestMainForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MainForm.moc"
