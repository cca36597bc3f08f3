// The real main window with nine real Qt WebEngine views, against store pages
// served through a local proxy on 127.0.0.1.

#include "app/Application.h"
#include "app/ErrorHandler.h"
#include "app/ScreenCursor.h"
#include "app/StorePages.h"
#include "app/Ui_MainForm.h"
#include "app/LongTimeFormat.h"
#include "app/pub_status.h"
#include "browser/BrowserProfile.h"
#include "browser/BrowserWindow.h"
#include "platform/DesignFonts.h"
#include "stores/Deployment.h"

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
#include <QWebEngineProfile>
#include <QWindow>

#include <memory>
#include <optional>

namespace {

constexpr int LoadTimeoutMs = 20000;

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

// Closes every error box as soon as it shows and remembers what the last one
// said. OnShown runs at that moment, while the handler that failed is still
// on the stack.
class TBoxWatcher : public QObject {
public:
    TBoxWatcher() { qApp->installEventFilter(this); }
    int Shown = 0;
    QString Title, Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    std::function<void()> OnShown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show) {
            Title = box->windowTitle();
            Text = box->text();
            Icon = box->icon();
            ++Shown;
            if (OnShown)
                OnShown();
            QTimer::singleShot(0, box, [box] { box->done(QMessageBox::Ok); });
        }
        return false;
    }
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
    void rightButtonNeverReachesThePages();
    void statusPopupShowsWhileSearching();
    void newWindowLinksOpenBrowserWindows();
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
    // Every tab has finished loading and none has been asked to go elsewhere
    // since: a navigation marks its tab loading at once.
    bool AllLoaded() const;

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

bool TestMainForm::AllLoaded() const
{
    return std::all_of(FForm->WB.begin(), FForm->WB.end(),
                       [](TWebBrowser* b) { return b->ReadyState() == TBrowserOperations::ReadyStateComplete; });
}

void TestMainForm::WaitAllLoaded()
{
    QTRY_VERIFY_WITH_TIMEOUT(AllLoaded(), LoadTimeoutMs);
}

void TestMainForm::Search(const QString& keyword)
{
    FForm->etCargao->setText(keyword);
    QTest::mouseClick(FForm->bbtnFind, Qt::LeftButton);
}

void TestMainForm::initTestCase()
{
    FProfile = CreateSharedBrowserProfile(qApp);
    FForm = std::make_unique<TMainForm>(FProfile, TStoreCatalogue(TestStoreHosts()));
    Fpub_status = new TFpub_status();
    FForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    // The home pages start once the window is on the screen, its frame fitted.
    QTRY_VERIFY(FForm->Browser(1).ReadyState() != TBrowserOperations::ReadyStateUninitialized);
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

    QCOMPARE(FForm->StatusPanels[0]->text(), QStringLiteral("网站： ") + QString::fromUtf8(deployment::MakerWebAddress));
    QCOMPARE(FForm->StatusPanels[2]->text(), QStringLiteral("支持QQ：") + QString::fromUtf8(deployment::SupportQQ));
    QCOMPARE(FForm->StatusPanels[5]->text(),
             QStringLiteral("今天是：") + QDate::currentDate().toString(QStringLiteral("yyyy年MM月dd日")));
    // The locale's long time, without the zone name.
    const QString entered = FForm->StatusPanels[6]->text();
    QVERIFY(entered.startsWith(QStringLiteral("进入时间：")));
    const QTime time = QLocale::system().toTime(entered.mid(5), LongTimeFormatWithoutZone(QLocale::system()));
    QVERIFY2(time.isValid(), qPrintable(entered));
    QVERIFY2(!entered.contains(QDateTime::currentDateTime().timeZoneAbbreviation()), qPrintable(entered));
    const std::array<int, 7> widths{200, 0, 200, 0, 0, 150, 130};
    for (std::size_t i = 0; i < widths.size(); ++i)
        QCOMPARE(FForm->StatusPanels[i]->width() * int(FForm->StatusPanels[i]->isVisible()), widths[i]);

    // The outer size is the design's 696 x 480, whatever frame the window got
    // once shown; without any frame the client area is the design's. Nothing
    // forces the window wider.
    const QMargins frame = FForm->windowHandle()->frameMargins();
    if (frame.isNull())
        QCOMPARE(FForm->size(), QSize(680, 446));
    else
        QCOMPARE(FForm->frameGeometry().size(), QSize(696, 480));
    QCOMPARE(FForm->size(), FForm->frameGeometry().size().shrunkBy(frame));
    QVERIFY2(FForm->minimumSizeHint().width() <= 680, qPrintable(QString::number(FForm->minimumSizeHint().width())));
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
    Fpub_status = new TFpub_status();
    QPointer<TFpub_status> popup = Fpub_status;

    TBoxWatcher boxes;
    bool untouched = false;
    boxes.OnShown = [&] { untouched = AllLoaded(); };
    Search(QStringLiteral(" \t  "));
    QCOMPARE(boxes.Shown, 1);
    // By the time the box shows the dispatch has ended; no tab was sent anywhere.
    QVERIFY(untouched);
    QCOMPARE(boxes.Title, QStringLiteral("Shopscope"));
    QCOMPARE(boxes.Text, QStringLiteral("请输入搜索商品."));
    QCOMPARE(boxes.Icon, QMessageBox::Critical);
    QCOMPARE(FForm->focusWidget(), FForm->etCargao);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QVERIFY(popup && !popup->isVisible());
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
    gome.Navigate("http://s8.test/nobutton?keyword=nb");
    WaitLoaded(gome, QStringLiteral("/nobutton?keyword=nb"));
    // That load's own relay, before anything else is looked at.
    WaitLoaded(FForm->Browser(5), QStringLiteral("s5.test/search?keyword=nb&Site=01&=%CB%D1%CB%F7"));
    WaitLoaded(FForm->Browser(9), QStringLiteral("search.htm?keyword=nb&type=%E5%85%A8%E9%83%A8%E5%88%86%E7%B1%BB"));

    Search(QStringLiteral("nobtn"));
    WaitForRequest(QStringLiteral("s7.test/s/ref=nb_sb_noss?__mk_zh_CN=%E4%BA%9A%E9%A9%AC%E9%80%8A%E7%BD%91%E7%AB%99&url=search-alias%3Daps&field-keywords=nobtn&x=29&y=21"));
    QCOMPARE(gome.RunScript(QStringLiteral("document.getElementById('keyword').value")).toString(), QStringLiteral("nobtn"));
    // The page counted no submission of any kind, so it never left: no
    // Gome result page, hence no relay, can follow.
    QCOMPARE(gome.RunScript(QStringLiteral("submits")).toInt(), 0);
    QVERIFY(gome.url().toString(QUrl::FullyEncoded).endsWith(QStringLiteral("/nobutton?keyword=nb")));
    QCOMPARE(gome.ReadyState(), int(TBrowserOperations::ReadyStateComplete));
    QVERIFY(FForm->Browser(5).url().toString(QUrl::FullyEncoded).endsWith(QStringLiteral("keyword=nb&Site=01&=%CB%D1%CB%F7")));
    QVERIFY(!Requested().contains(QStringLiteral("s8.test/search?keyword=nobtn")));
    gome.Navigate("http://s8.test/");
    WaitLoaded(gome, QStringLiteral("s8.test/"));
}

void TestMainForm::rightButtonNeverReachesThePages()
{
    QCOMPARE(FForm->pm1->actions().size(), 1);
    QCOMPARE(FForm->pm1->actions().first()->text(), QStringLiteral("搜索"));
    WaitAllLoaded();
    for (int position = 1; position <= 9; ++position) {
        TWebBrowser& browser = FForm->Browser(position);
        FForm->pcMain->setCurrentIndex(position - 1);
        QTRY_VERIFY(browser.isVisible() && browser.focusProxy() && browser.focusProxy()->isVisible());
        QVERIFY(browser.RunScript(QStringLiteral("seen = []; true")).toBool());
        QWidget* page = browser.focusProxy();
        const QPoint local(40 + position, 30);
        for (const bool press : {true, false}) {
            const QPoint at = page->mapToGlobal(local);
            QCursor::setPos(at);
            FForm->PopupComponent = nullptr;
            if (press)
                QTest::mousePress(page, Qt::RightButton, {}, local);
            else
                QTest::mouseRelease(page, Qt::RightButton, {}, local);
            QVERIFY(FForm->pm1->isVisible());
            QCOMPARE(FForm->PopupComponent, &browser);
            QCOMPARE(FForm->pm1->pos(), at);
            FForm->pm1->close();
        }
        // A left click after them does reach the page. Input reaches a page
        // in order, so a right-button event that got through would be listed
        // before it.
        QTest::mouseClick(page, Qt::LeftButton, {}, local);
        QTRY_COMPARE_WITH_TIMEOUT(browser.RunScript(QStringLiteral("seen.join(' ')")).toString(),
                                  QStringLiteral("mousedown0 mouseup0"), LoadTimeoutMs);
    }
    // Outside the browsers the right button keeps its ordinary meaning.
    QTest::mousePress(FForm->etCargao, Qt::RightButton);
    QVERIFY(!FForm->pm1->isVisible());
    QTest::mouseRelease(FForm->etCargao, Qt::RightButton);
    QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget() : FForm.get(), Qt::Key_Escape);
    FForm->pcMain->setCurrentIndex(0);
}

void TestMainForm::statusPopupShowsWhileSearching()
{
    // Sees the popup's paints during the search, as they happen.
    class TPopupWatch : public QObject {
    public:
        TestMainForm& Test;
        explicit TPopupWatch(TestMainForm& test) : Test(test) {}
        QPointer<TFpub_status> Popup;
        QStringList Painted;  // "window", "label", in order
        bool Exposed = false, StoresUntouched = false, RelayedMidDispatch = true;
        QString Caption, Text;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() != QEvent::Paint)
                return false;
            if (auto* popup = qobject_cast<TFpub_status*>(watched)) {
                Popup = popup;
                Painted << QStringLiteral("window");
            } else if (Popup && watched == Popup->Label1 && !Painted.contains(QStringLiteral("label"))) {
                Painted << QStringLiteral("label");
                Exposed = Popup->windowHandle() && Popup->windowHandle()->isExposed();
                Caption = Popup->windowTitle();
                Text = Popup->Label1->text();
                StoresUntouched = Test.AllLoaded();
                // A Gome page completing now must not relay in the middle of
                // the dispatch: the relay would send store 5 on at once.
                Test.FForm->Browser(8).OnDocumentComplete();
                RelayedMidDispatch = Test.FForm->Browser(5).ReadyState() != TBrowserOperations::ReadyStateComplete;
            }
            return false;
        }
    };
    WaitAllLoaded();
    TPopupWatch watch(*this);
    qApp->installEventFilter(&watch);
    Search(QStringLiteral("popup"));
    qApp->removeEventFilter(&watch);
    // On the screen, window and then label, before any store was searched.
    QCOMPARE(watch.Painted.mid(0, 2), (QStringList{QStringLiteral("window"), QStringLiteral("label")}));
    QVERIFY(watch.Exposed);
    QCOMPARE(watch.Caption, QStringLiteral("提示"));
    QCOMPARE(watch.Text, QStringLiteral("正在搜索..."));
    QVERIFY(watch.StoresUntouched);
    QVERIFY(!watch.RelayedMidDispatch);
    // And gone once the search has been dispatched.
    QVERIFY(!watch.Popup);
    QVERIFY(!Fpub_status);
    WaitForRequest(QStringLiteral("q1.test/Search?keyword=popup"));
}

void TestMainForm::newWindowLinksOpenBrowserWindows()
{
    TWebBrowser& jd = FForm->Browser(1);
    FForm->pcMain->setCurrentIndex(0);
    jd.Navigate("http://s1.test/links");
    WaitLoaded(jd, QStringLiteral("s1.test/links"));
    QCOMPARE(TBrowserWindow::OpenWindows().size(), 0);

    // A user's click on a link with target="_blank".
    const QVariantMap box = jd.RunScript(QStringLiteral("(function () { var r = document.getElementById('blank')"
                                                        ".getBoundingClientRect(); return {x: r.x + 10, y: r.y + 10}; })()"))
                                .toMap();
    QTest::mouseClick(jd.focusProxy(), Qt::LeftButton, {}, QPoint(box.value(QStringLiteral("x")).toInt(), box.value(QStringLiteral("y")).toInt()));
    QTRY_COMPARE_WITH_TIMEOUT(TBrowserWindow::OpenWindows().size(), 1, LoadTimeoutMs);
    // A script's window.open.
    jd.RunScript(QStringLiteral("window.open('http://s1.test/titled?script'); true"));
    QTRY_COMPARE_WITH_TIMEOUT(TBrowserWindow::OpenWindows().size(), 2, LoadTimeoutMs);

    for (TBrowserWindow* window : TBrowserWindow::OpenWindows()) {
        QVERIFY(window->isWindow() && window->isVisible());
        // The same profile as the store tabs, so a store login carries over.
        QCOMPARE(window->page()->profile(), FProfile);
        QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), QStringLiteral("新窗口"), LoadTimeoutMs);
    }
    QVERIFY(TBrowserWindow::OpenWindows()[1]->url().toString().endsWith(QStringLiteral("/titled?script")));

    // Not a store tab: the right button reaches its page, and our menu stays
    // closed (the hook would have opened it at once).
    TBrowserWindow* window = TBrowserWindow::OpenWindows()[0];
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(window->focusProxy());
    const auto seen = [window] {
        auto answer = std::make_shared<QString>(QStringLiteral("no answer"));
        window->page()->runJavaScript(QStringLiteral("seen.join(' ')"), [answer](const QVariant& v) { *answer = v.toString(); });
        // A page that never answers reads as "no answer", which the caller
        // does not accept.
        (void)QTest::qWaitFor([&] { return *answer != QStringLiteral("no answer"); }, LoadTimeoutMs);
        return *answer;
    };
    // The engine may still be swapping the page's input widget after the
    // load; a click that went to the old one is simply clicked again.
    bool reached = false;
    for (int attempt = 0; attempt < 20 && !reached; ++attempt) {
        QTest::mouseClick(window->focusProxy(), Qt::RightButton, {}, QPoint(30, 30));
        QVERIFY(!FForm->pm1->isVisible());
        reached = QTest::qWaitFor([&] { return seen().contains(QStringLiteral("mousedown2 contextmenu2 mouseup2")); }, 1000);
    }
    QVERIFY(reached);

    // Closable: closing destroys it.
    QPointer<TBrowserWindow> closed = window;
    QVERIFY(window->close());
    QTRY_VERIFY(!closed);
    QCOMPARE(TBrowserWindow::OpenWindows().size(), 1);
    TBrowserWindow::CloseAll();
    QCOMPARE(TBrowserWindow::OpenWindows().size(), 0);
    jd.Navigate("http://s1.test/");
    WaitLoaded(jd, QStringLiteral("s1.test/"));
}

void TestMainForm::selectionSearch()
{
    TWebBrowser& taobao = FForm->Browser(3);
    WaitLoaded(taobao);
    FForm->pcMain->setCurrentIndex(2);
    taobao.RunScript(QStringLiteral("var sel = document.getElementById('sel'); sel.textContent = '  selabc  ';"
                                    "window.getSelection().selectAllChildren(sel); true"));
    QTRY_COMPARE(taobao.page()->selectedText(), QStringLiteral("  selabc  "));

    QTest::mousePress(taobao.focusProxy(), Qt::RightButton, {}, QPoint(20, 20));
    QVERIFY(FForm->pm1->isVisible());
    FForm->N1->trigger();
    FForm->pm1->close();
    // Shown with its blanks, searched without them.
    QCOMPARE(FForm->etCargao->text(), QStringLiteral("  selabc  "));
    WaitForRequest(QStringLiteral("s4.test/eshop/search.aspx?keys=selabc"));
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

    TBoxWatcher boxes;
    FForm->PopupComponent = &jd;
    FForm->N1->trigger();
    // The selection search runs to its end inside trigger(): a box would have
    // shown and a search would have marked the tabs loading by now.
    QCOMPARE(FForm->etCargao->text(), QString());
    QCOMPARE(FForm->focusWidget(), FForm->etCargao);
    QCOMPARE(boxes.Shown, 0);
    QVERIFY(AllLoaded());
}

void TestMainForm::refusedHomePageStopsTheRestAndShowsTheError()
{
    TStoreCatalogue::THostTable hosts = TestStoreHosts();
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
    InstallDesignFontSubstitutes();
    app.setApplicationName(QStringLiteral("shopscope-test"));
    TestMainForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MainForm.moc"
