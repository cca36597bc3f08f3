// The program's real windows in each built-in skin: the main window with its
// nine browsers showing pages served on 127.0.0.1, the download wizard in
// the middle of a download and the newer-version window. Each control draws
// in its skin's colours, and every window is photographed into
// <build>/tests/app/screenshots/<100|150>/ for a person to look at (never
// committed).

#include "app/Application.h"
#include "app/StorePages.h"
#include "app/Ui_MainForm.h"
#include "browser/BrowserProfile.h"
#include "skins/sSkinData.h"
#include "upgrade/ModalAnswer.h"
#include "upgrade/auUpgraderUpgradeMsg.h"
#include "upgrade/auUpgraderWizard.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWebEngineProfile>
#include <QWindow>

#include <functional>
#include <memory>

namespace {

constexpr int LoadTimeoutMs = 30000;

TStoreCatalogue::THostTable TestHosts()
{
    TStoreCatalogue::THostTable hosts;
    for (std::size_t i = 0; i < hosts.size(); ++i)
        hosts[i] = {"s" + std::to_string(i + 1) + ".test", "q" + std::to_string(i + 1) + ".test"};
    return hosts;
}

// A store's page as a person would recognise one: a heading and a few
// result rows in Chinese.
void ServeShopPage(const TTestRequest& request, TScriptedConnection& connection)
{
    if (request.method == "CONNECT") {
        ServeStorePage(request, connection, {});
        return;
    }
    const std::string host = SplitProxyTarget(request.target).Host;
    std::string rows;
    for (const char* item : {"诺基亚 N8 智能手机 16GB 银色", "诺基亚 N8 原装电池 BL-4D", "诺基亚 N8 皮套 黑色"})
        rows += std::string("<tr><td>") + item + "</td><td style=\"color:#c00\">¥ 2,799.00</td></tr>";
    const std::string body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + host +
                             "</title></head><body style=\"font-family:sans-serif;margin:12px\"><h3>" + host +
                             " 搜索结果</h3><table cellpadding=\"4\">" + rows + "</table></body></html>";
    connection.Send(TScriptedServer::Response(200, body, "Content-Type: text/html; charset=utf-8"));
}

struct TSample {
    QWidget* Widget;
    QPoint At;
    QColor Expected;
};

// Where to look in the main window, and the colour the skin's data says it
// must have there.
using TPick = std::function<TSample(TMainForm&, const TSkinData&)>;

QColor At(const QList<QColor>& fill, qreal y, qreal height)
{
    return FillColourAt(fill, (y + 0.5) / height);
}

// The pixel at a logical point; at 150 % it is the device pixel below it.
QColor PixelAt(const QImage& image, QPoint at)
{
    return image.pixelColor((QPointF(at) * image.devicePixelRatio()).toPoint());
}

// Qt hands a new application palette on to the widgets only while the event
// loop runs (QApplication::exec), which a test does not: hand it on as the
// running program would. The program itself puts its skin in force before
// its first window exists.
void PassPaletteOn()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        QEvent change(QEvent::ApplicationPaletteChange);
        QApplication::sendEvent(window, &change);
    }
}

bool Near(const QColor& a, const QColor& b)
{
    const auto near = [](int x, int y) { return std::abs(x - y) <= 8; };
    return near(a.red(), b.red()) && near(a.green(), b.green()) && near(a.blue(), b.blue());
}

} // namespace

Q_DECLARE_METATYPE(TPick)

class TestSkinnedWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void mainWindowDrawsInTheSkinsColours_data();
    void mainWindowDrawsInTheSkinsColours();
    void keywordBoxKeepsItsFont();

private:
    // Puts skin in force on every window.
    void UseSkin(const QString& skin);

    QWebEngineProfile* FProfile = nullptr;
    std::unique_ptr<TMainForm> FForm;
};

void TestSkinnedWindows::initTestCase()
{
    FProfile = CreateSharedBrowserProfile(qApp);
    FForm = std::make_unique<TMainForm>(FProfile, TStoreCatalogue(TestHosts()));
    FForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    // Nine home pages, then the two stores the Gome page relays to load
    // their search pages.
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(FForm->WB.begin(), FForm->WB.end(),
                                         [](TWebBrowser* b) {
                                             return b->ReadyState() == TBrowserOperations::ReadyStateComplete;
                                         }) &&
                                 FForm->Browser(5).url().query().startsWith(u"keyword=") &&
                                 FForm->Browser(9).url().query().startsWith(u"keyword="),
                             LoadTimeoutMs);
}

void TestSkinnedWindows::cleanupTestCase()
{
    FForm.reset();
}

void TestSkinnedWindows::UseSkin(const QString& skin)
{
    FForm->sSkinManager1.SetActive(true);
    FForm->sSkinManager1.SetSkinName(skin);
    PassPaletteOn();
    QVERIFY(FForm->sSkinManager1.CurrentSkin());
    QCOMPARE(FForm->sSkinManager1.CurrentSkin()->Name, skin);
}

void TestSkinnedWindows::mainWindowDrawsInTheSkinsColours_data()
{
    QTest::addColumn<QString>("skin");
    QTest::addColumn<TPick>("pick");
    const std::vector<std::pair<const char*, TPick>> parts = {
        {"button", [](TMainForm& f, const TSkinData& s) {
             return TSample{f.bbtnFind, {5, 12}, At(s.Section("BUTTON")->Fill, 12, 25)};
         }},
        {"top bar", [](TMainForm& f, const TSkinData& s) {
             return TSample{f.sPanel1, {584, 20}, At(s.Section("PANEL")->Fill, 20, 41)};
         }},
        {"keyword box border", [](TMainForm& f, const TSkinData& s) {
             return TSample{f.etCargao, {0, 10}, s.Section("EDIT")->Border};
         }},
        {"keyword box", [](TMainForm& f, const TSkinData& s) {
             return TSample{f.etCargao, {f.etCargao->width() - 4, 10}, At(s.Section("EDIT")->Fill, 10, 20)};
         }},
        {"selected tab", [](TMainForm& f, const TSkinData& s) {
             const QRect tab = f.pcMain->tabBar()->tabRect(0);
             const int y = tab.center().y();
             return TSample{f.pcMain->tabBar(), {tab.left() + 4, y},
                            At(s.Section("PAGECONTROL")->SelFill, y - tab.top(), tab.height())};
         }},
        {"tab", [](TMainForm& f, const TSkinData& s) {
             const QRect tab = f.pcMain->tabBar()->tabRect(2);
             const int y = tab.center().y();
             // Tabs behind the selected one start two pixels lower.
             return TSample{f.pcMain->tabBar(), {tab.left() + 4, y},
                            At(s.Section("PAGECONTROL")->Fill, y - tab.top() - 2, tab.height() - 2)};
         }},
        {"status bar", [](TMainForm& f, const TSkinData& s) {
             return TSample{f.StatusBar1, {450, 2}, At(s.Section("STATUSBAR")->Fill, 2, 20)};
         }},
        {"menu icon strip", [](TMainForm& f, const TSkinData& s) {
             // The strip shades from left to right across frame, margin and its width.
             const int band = 1 + 2 + s.Section("ICOLINE")->Width;
             const int y = f.pm1->actionGeometry(f.N1).center().y();
             return TSample{f.pm1, {10, y}, At(s.Section("ICOLINE")->Fill, 10, band)};
         }},
        {"menu", [](TMainForm& f, const TSkinData& s) {
             const int y = f.pm1->actionGeometry(f.N1).center().y();
             return TSample{f.pm1, {f.pm1->width() - 4, y}, At(s.Section("MENU")->Fill, y, f.pm1->height())};
         }},
    };
    for (const char* skin : {"BlueGauze (内置)", "Office12Style (内置)", "Office2007 (内置)", "TheFrog (内置)"})
        for (const auto& [part, pick] : parts)
            QTest::addRow("%s %s", skin, part) << QString::fromUtf8(skin) << pick;
}

void TestSkinnedWindows::mainWindowDrawsInTheSkinsColours()
{
    QFETCH(QString, skin);
    QFETCH(TPick, pick);
    // The keyword box shows its plain border only without the focus.
    FForm->bbtnUpdate->setFocus();
    const auto render = [&] {
        FForm->pm1->popup(FForm->mapToGlobal(QPoint(40, 80)));
        if (!QTest::qWaitForWindowExposed(FForm->pm1))
            return std::pair<QImage, TSample>();
        const TSample sample = pick(*FForm, *FForm->sSkinManager1.CurrentSkin());
        const QImage image = sample.Widget->grab().toImage();
        FForm->pm1->hide();
        return std::pair(image, sample);
    };

    UseSkin(skin);
    const auto [image, sample] = render();
    QVERIFY(!image.isNull());
    const QColor seen = PixelAt(image, sample.At);
    QVERIFY2(Near(seen, sample.Expected),
             qPrintable(QStringLiteral("seen %1, skin says %2").arg(seen.name(), sample.Expected.name())));

    // The same control unskinned looks different.
    FForm->sSkinManager1.SetActive(false);
    PassPaletteOn();
    FForm->pm1->popup(FForm->mapToGlobal(QPoint(40, 80)));
    QVERIFY(QTest::qWaitForWindowExposed(FForm->pm1));
    const QImage plain = sample.Widget->grab().toImage();
    FForm->pm1->hide();
    FForm->sSkinManager1.SetActive(true);
    PassPaletteOn();
    QVERIFY(plain != image);
}

void TestSkinnedWindows::keywordBoxKeepsItsFont()
{
    UseSkin(QStringLiteral("TheFrog (内置)"));
    QVERIFY(FForm->etCargao->styleSheet().isEmpty());
    QCOMPARE(FForm->etCargao->font().family(), QStringLiteral("宋体"));
    QCOMPARE(FForm->etCargao->font().pixelSize(), 12);
    QVERIFY2(QFontInfo(FForm->etCargao->font()).family().contains(QStringLiteral("CJK")),
             qPrintable(QFontInfo(FForm->etCargao->font()).family()));
    // Black text on the skin's white.
    QCOMPARE(FForm->etCargao->palette().color(QPalette::Text), QColor(Qt::black));
    QCOMPARE(FForm->etCargao->palette().color(QPalette::Base), QColor(Qt::white));
}

int main(int argc, char* argv[])
{
    // The upgrade windows speak the locale's language: Chinese, as the
    // program's users see them.
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qputenv("LANG", "zh_CN.UTF-8");
    TScriptedServer proxy(ServeShopPage, std::chrono::seconds(900));
    // The engine's standard proxy setting sends every store host to us.
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + " --proxy-server=127.0.0.1:" +
                             QByteArray::number(proxy.Port()) + " --proxy-bypass-list=<-loopback>";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    PrepareBrowserEngine();
    TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("shopscope-test"));
    TestSkinnedWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SkinnedWindows.moc"
