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
#include <QMessageBox>
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

// The wizard as it stands a little into a download: the first of two
// files, 3 MB, 62 % of it in at 186 KB/s, six seconds left.
TauUpgraderWizardForm* ShowDownloadingWizard()
{
    TauWizardAppearance appearance;
    appearance.StayOnTop = false;
    TauUpgraderWizardForm* wizard = ShowWizard(appearance, {});
    wizard->ShowCurrentFile(QStringLiteral("http://www.shopscope.cn/update/Shopscope.exe"), 1, 2);
    wizard->ShowFileSize(3214848);
    wizard->ShowProgress(62, 31, 186.4, 6);
    return wizard;
}

const char* const Skins[] = {"BlueGauze (内置)", "Office12Style (内置)", "Office2007 (内置)", "TheFrog (内置)"};

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
    void eachSkin_data();
    void wizardDrawsInTheSkin_data() { eachSkin_data(); }
    void wizardDrawsInTheSkin();
    void screenshots_data() { eachSkin_data(); }
    void screenshots();

private:
    // Puts skin in force on every window.
    void UseSkin(const QString& skin);

    void Save(const QPixmap& shot, const QString& skin, const char* what);
    // A part magnified three times, pixel for pixel, to judge the edges.
    void SaveZoom(const QPixmap& shot, const QRect& logical, const QString& skin, const char* what);

    QDir FFolder;
    QWebEngineProfile* FProfile = nullptr;
    std::unique_ptr<TMainForm> FForm;
};

void TestSkinnedWindows::initTestCase()
{
    FFolder.setPath(QStringLiteral(SKIN_SCREENSHOTS "/") +
                    (qApp->devicePixelRatio() > 1 ? QStringLiteral("150") : QStringLiteral("100")));
    QVERIFY(FFolder.mkpath(QStringLiteral(".")));
    FProfile = CreateSharedBrowserProfile(qApp);
    FForm = std::make_unique<TMainForm>(FProfile, TStoreCatalogue(TestStoreHosts()));
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
    for (const char* skin : Skins)
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

void TestSkinnedWindows::eachSkin_data()
{
    QTest::addColumn<QString>("skin");
    for (const char* skin : Skins)
        QTest::newRow(skin) << QString::fromUtf8(skin);
}

void TestSkinnedWindows::wizardDrawsInTheSkin()
{
    QFETCH(QString, skin);
    UseSkin(skin);
    const TSkinData& data = *FForm->sSkinManager1.CurrentSkin();
    TauUpgraderWizardForm* wizard = ShowDownloadingWizard();
    QVERIFY(QTest::qWaitForWindowExposed(wizard));
    struct TEnd {
        ~TEnd() { DestroyWizardForm(); }
    } end;

    // Both group boxes wear the skin's frame.
    for (QGroupBox* box : {wizard->LCurrentFile, wizard->LAllFiles}) {
        const QImage image = box->grab().toImage();
        const QColor seen = PixelAt(image, {0, box->height() / 2});
        QVERIFY2(Near(seen, data.Section("GROUPBOX")->Border),
                 qPrintable(QStringLiteral("seen %1, skin says %2").arg(seen.name(), data.Section("GROUPBOX")->Border.name())));
    }
    // The bar of the file shows what is done and what is still to come.
    QProgressBar* bar = wizard->ProgressCurrentFile;
    const QImage progress = bar->grab().toImage();
    const int y = bar->height() / 2;
    QVERIFY(Near(PixelAt(progress, {5, y}), At(data.Section("PROGRESSBAR")->SelFill, y - 2, bar->height() - 4)));
    QVERIFY(Near(PixelAt(progress, {bar->width() - 5, y}), At(data.Section("PROGRESSBAR")->Fill, y, bar->height())));

    // The engraved lettering lies on the window's own background: around its
    // letters the window looks as it does without them.
    const QImage lettered = wizard->grab().toImage();
    wizard->AboutLabel->hide();
    wizard->AboutShadow->hide();
    const QImage bare = wizard->grab().toImage();
    const QRect about = wizard->AboutLabel->geometry().united(wizard->AboutShadow->geometry());
    // The leading blank of the text, top to bottom.
    for (int v = about.top(); v <= about.bottom(); ++v)
        QCOMPARE(PixelAt(lettered, {about.left() + 2, v}), PixelAt(bare, {about.left() + 2, v}));
    QVERIFY(lettered != bare);
}

void TestSkinnedWindows::Save(const QPixmap& shot, const QString& skin, const char* what)
{
    const QString name = skin.section(QLatin1Char(' '), 0, 0) + QLatin1Char('-') + QLatin1String(what) + ".png";
    QVERIFY(shot.save(FFolder.filePath(name)));
}

void TestSkinnedWindows::SaveZoom(const QPixmap& shot, const QRect& logical, const QString& skin, const char* what)
{
    const qreal ratio = shot.devicePixelRatio();
    QPixmap crop = shot.copy(QRect(logical.topLeft() * ratio, logical.size() * ratio));
    crop.setDevicePixelRatio(1);
    Save(crop.scaled(crop.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation), skin, what);
}

void TestSkinnedWindows::screenshots()
{
    QFETCH(QString, skin);
    UseSkin(skin);

    FForm->pcMain->setCurrentIndex(0);
    FForm->etCargao->setText(QStringLiteral("诺基亚 N8"));
    FForm->etCargao->setCursorPosition(0);
    const QPixmap main = FForm->grab();
    Save(main, skin, "main");
    SaveZoom(main, QRect(0, 0, 340, 72), skin, "zoom-top");
    SaveZoom(main, QRect(0, FForm->height() - 30, 230, 30), skin, "zoom-status");
    // Nothing of the design clips: buttons and tabs hold their captions.
    for (QPushButton* button : {FForm->bbtnFind, FForm->bbtnUpdate}) {
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) + 8 <= button->width(),
                 qPrintable(button->text()));
        QVERIFY(button->fontMetrics().height() <= button->height() - 4);
    }
    QTabBar* tabs = FForm->pcMain->tabBar();
    QVERIFY2(tabs->tabRect(8).right() < FForm->pcMain->width(), "all nine tabs are in view");
    for (int i = 0; i < tabs->count(); ++i)
        QVERIFY(tabs->tabRect(i).width() >= tabs->fontMetrics().horizontalAdvance(tabs->tabText(i)) + 8);
    QVERIFY(FForm->etCargao->fontMetrics().height() <= FForm->etCargao->height() - 2);
    QVERIFY(FForm->sLabel2->fontMetrics().horizontalAdvance(FForm->sLabel2->text()) <= FForm->sLabel2->width());

    FForm->pm1->popup(FForm->mapToGlobal(QPoint(120, 120)));
    QVERIFY(QTest::qWaitForWindowExposed(FForm->pm1));
    FForm->pm1->setActiveAction(FForm->N1);
    Save(FForm->pm1->grab(), skin, "menu");
    FForm->pm1->hide();

    TauUpgraderWizardForm* wizard = ShowDownloadingWizard();
    QVERIFY(QTest::qWaitForWindowExposed(wizard));
    const QPixmap downloading = wizard->grab();
    Save(downloading, skin, "wizard");
    SaveZoom(downloading, QRect(130, 30, 200, 70), skin, "zoom-wizard");
    for (QLabel* label : {wizard->FileSizeLab, wizard->TransferRateLab, wizard->EstimatedTimeLeftLab,
                          wizard->AllDownloading, wizard->LDownloadingFileFrom})
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), qPrintable(label->text()));
    wizard->ShowFinished();
    Save(wizard->grab(), skin, "wizard-finished");
    QVERIFY(wizard->AfterNote->geometry().bottom() < wizard->Bevel1->y());
    DestroyWizardForm();

    QPixmap offer;
    TModalAnswer<TauUpgraderUpgradeMessageForm> answer([&](TauUpgraderUpgradeMessageForm* form) {
        if (QTest::qWaitForWindowExposed(form))
            offer = form->grab();
        form->LaterBtn->click();
    });
    QVERIFY(!ShowUpgradeMessage(QStringLiteral("新版本搜索更快，并修正了淘宝页面的显示问题。")));
    QVERIFY(answer.Answered());
    QVERIFY(!offer.isNull());
    Save(offer, skin, "newer-version");

    QMessageBox box(QMessageBox::Critical, QStringLiteral("Shopscope"), QStringLiteral("请输入搜索商品."),
                    QMessageBox::Ok, FForm.get());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    Save(box.grab(), skin, "messagebox");
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
