#include "app/Ui_MainForm.h"

#include "app/ApplicationEvents.h"
#include "app/ErrorHandler.h"
#include "app/LongTimeFormat.h"
#include "app/ScreenCursor.h"
#include "app/pub_status.h"
#include "browser/BrowserWindow.h"
#include "platform/ApplicationWindow.h"
#include "platform/DesignFonts.h"
#include "skins/sSkinSectionProperty.h"
#include "stores/Deployment.h"
#include "stores/Relay.h"

#include <QAction>
#include <QCursor>
#include <QDate>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTime>
#include <QVBoxLayout>
#include <QWindow>

#include <stdexcept>
#include <utility>

namespace {

// A window lies inside a browser when the browser is one of its ancestors;
// the browser's own window does not count.
bool IsChild(const QWidget* parent, const QWidget* window)
{
    for (const QWidget* w = window ? window->parentWidget() : nullptr; w; w = w->parentWidget())
        if (w == parent)
            return true;
    return false;
}

// The design's outer size, and its client area inside the frame it was
// drawn with. The real frame is known only once the window manager has put
// the window on the screen; without a window manager there is none, and the
// client area is the design's.
constexpr QSize OuterSize(696, 480);
constexpr QSize DesignClientSize(696 - 16, 480 - 34);

constexpr std::array<int, 7> PanelWidths{200, 0, 200, 0, 0, 150, 130};

} // namespace

TMainForm::TMainForm(QWebEngineProfile* profile, const TStoreCatalogue& catalogue, QWidget* parent)
    : QWidget(parent)
    , FCatalogue(catalogue)
{
    sHintManager1.Loaded();
    sSkinManager1.Loaded();

    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Shopscope V1.1.610"));
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    resize(DesignClientSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(OuterSize.width() / 2, OuterSize.height() / 2));

    sPanel1 = new QWidget(this);
    sPanel1->setObjectName(QStringLiteral("sPanel1"));
    sPanel1->setFixedHeight(41);
    sPanel1->setFont(DesignFont(QStringLiteral("宋体"), 12));

    sLabel1 = new QLabel(QStringLiteral("商品:"), sPanel1);
    sLabel1->setGeometry(8, 14, 33, 13);
    sLabel1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    etCargao = new QLineEdit(sPanel1);
    etCargao->setObjectName(QStringLiteral("etCargao"));
    etCargao->setGeometry(42, 11, 234, 20);
    // White with black text is the skin's EDIT section in every built-in
    // skin, and the plain palette's too; a style sheet here would take the
    // box away from the skin. Its font is the top bar's.
    sLabel1->setBuddy(etCargao);

    bbtnFind = new QPushButton(QStringLiteral("搜索"), sPanel1);
    bbtnFind->setObjectName(QStringLiteral("bbtnFind"));
    bbtnFind->setGeometry(281, 8, 42, 25);

    bbtnUpdate = new QPushButton(QStringLiteral("软件升级"), sPanel1);
    bbtnUpdate->setObjectName(QStringLiteral("bbtnUpdate"));
    bbtnUpdate->setGeometry(591, 8, 75, 25);

    sLabel2 = new QLabel(QStringLiteral("（选产品型号等关键词，点右键继续搜索）"), sPanel1);
    sLabel2->setObjectName(QStringLiteral("sLabel2"));
    sLabel2->setGeometry(328, 15, 249, 13);
    sLabel2->setFocusPolicy(Qt::NoFocus);
    // Black through the palette: a style sheet would reach its tooltips too.
    QPalette black = sLabel2->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    sLabel2->setPalette(black);

    pcMain = new QTabWidget(this);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    for (std::size_t i = 0; i < TStoreCatalogue::Count; ++i) {
        const TStoreEntry& store = FCatalogue[i];
        auto* sheet = new QWidget;
        sheet->setObjectName(QStringLiteral("sTabSheet%1").arg(i + 1));
        auto* sheetLayout = new QVBoxLayout(sheet);
        sheetLayout->setContentsMargins(0, 0, 0, 0);
        auto* browser = new TWebBrowser(profile, sheet);
        browser->setObjectName(QString::fromStdString(store.BrowserName));
        sheetLayout->addWidget(browser);
        pcMain->addTab(sheet, QString::fromStdString(store.Caption));
        sTabSheet[i] = sheet;
        WB[i] = browser;
    }

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(20);
    StatusBar1->setSizeGripEnabled(true);
    // The panels keep their widths side by side and are clipped at the
    // window's edge, as in the design: they set no minimum window width.
    FPanelStrip = new QWidget(StatusBar1);
    FPanelStrip->installEventFilter(this);
    StatusBar1->addWidget(FPanelStrip, 1);
    int left = 0;
    for (std::size_t i = 0; i < StatusPanels.size(); ++i) {
        auto* panel = new QLabel(FPanelStrip);
        panel->setGeometry(left, 0, PanelWidths[i], StatusBar1->height());
        panel->setVisible(PanelWidths[i] > 0);
        left += PanelWidths[i];
        StatusPanels[i] = panel;
    }
    StatusPanels[0]->setAlignment(Qt::AlignCenter);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sPanel1);
    layout->addWidget(pcMain, 1);
    layout->addWidget(StatusBar1);

    SetSkinSection(sPanel1, QStringLiteral("PANEL"));
    SetSkinSection(sLabel1, QStringLiteral("LABEL"));
    SetSkinSection(etCargao, QStringLiteral("EDIT"));
    SetSkinSection(bbtnFind, QStringLiteral("BUTTON"));
    SetSkinSection(sLabel2, QStringLiteral("LABEL"));
    SetSkinSection(bbtnUpdate, QStringLiteral("BUTTON"));
    SetSkinSection(pcMain, QStringLiteral("PAGECONTROL"));
    SetSkinSection(StatusBar1, QStringLiteral("STATUSBAR"));

    // The top bar first, then the page control.
    setTabOrder(etCargao, bbtnFind);
    setTabOrder(bbtnFind, bbtnUpdate);
    setTabOrder(bbtnUpdate, pcMain);

    pm1 = new QMenu(this);
    pm1->setObjectName(QStringLiteral("pm1"));
    N1 = pm1->addAction(QStringLiteral("搜索"));
    N1->setObjectName(QStringLiteral("N1"));
    connect(N1, &QAction::triggered, this, [this] { HandleErrors([this] { N1Click(); }); });
    for (TWebBrowser* browser : WB) {
        // The menu key and any menu the engine asks for get our menu too.
        browser->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(browser, &QWidget::customContextMenuRequested, this, [this, browser](const QPoint& pos) {
            PopupComponent = browser;
            pm1->popup(browser->mapToGlobal(pos));
        });
    }

    EditCopy1 = new QAction(this);
    EditCopy1->setObjectName(QStringLiteral("EditCopy1"));
    EditCopy1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    connect(EditCopy1, &QAction::triggered, this, [this] { HandleErrors([this] { EditCopy1Execute(); }); });
    EditPaste1 = new QAction(this);
    EditPaste1->setObjectName(QStringLiteral("EditPaste1"));
    EditPaste1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    connect(EditPaste1, &QAction::triggered, this, [this] { HandleErrors([this] { EditPaste1Execute(); }); });
    addAction(EditCopy1);
    addAction(EditPaste1);

    connect(bbtnFind, &QPushButton::clicked, this, [this] { HandleErrors([this] { bbtnFindClick(); }); });
    connect(bbtnUpdate, &QPushButton::clicked, this, [this] { HandleErrors([this] { bbtnUpdateClick(); }); });
    etCargao->installEventFilter(this);
    Browser(8).OnDocumentComplete = [this] {
        // The dispatch serves events while it waits for the popup and the
        // Gome page; the relay then follows it instead of cutting into it.
        if (FDispatching)
            FRelayPending = true;
        else
            HandleErrors([this] { WB8DocumentComplete(); });
    };

    ApplicationEvents1 = new TApplicationEvents(this);
    ApplicationEvents1->OnMessage = [this](QObject* target, QEvent* msg, bool& handled) {
        HandleErrors([&] { ApplicationEvents1Message(target, msg, handled); });
    };

    // The upgrade hand-over closes this window to end the program.
    platform::SetMainWindow(this);
    ApplyStoredProperties();
    Upgrader1.Loaded();

    FormCreate();
}

TMainForm::~TMainForm()
{
    // The hook must not see the events of a half-destroyed window.
    delete ApplicationEvents1;
    ApplicationEvents1 = nullptr;
    // Windows opened from the store pages share their profile and must go
    // before it does.
    TBrowserWindow::CloseAll();
}

TStoreBrowsers TMainForm::Browsers() const
{
    TStoreBrowsers browsers{};
    for (std::size_t i = 0; i < WB.size(); ++i)
        browsers[i] = WB[i];
    return browsers;
}

void TMainForm::ApplyStoredProperties()
{
    Upgrader1.InfoFile().SetUpgradeMsg("first release");
    Upgrader1.SetInfoFileURL(SHOPSCOPE_UPGRADE_SERVER "/Upgrader.inf");
    Upgrader1.SetVersionControl(byNumber);
    Upgrader1.SetVersionDate("06/08/2011");
    Upgrader1.SetVersionDateAutoSet(true);
    Upgrader1.SetVersionNumber("3");
    Upgrader1.SetShowMessages({mAskUpgrade, mConnLost, mHostUnreachable, mLostFile, mNoInfoFile,
                               mNoUpdateAvailable, mPasswordRequest});
}

void TMainForm::FormCreate()
{
    StatusPanels[0]->setText(QStringLiteral("网站： ") + QString::fromUtf8(deployment::MakerWebAddress));
    StatusPanels[2]->setText(QStringLiteral("支持QQ：") + QString::fromUtf8(deployment::SupportQQ));
    // Both keep the moment the program started, also past midnight.
    StatusPanels[5]->setText(QStringLiteral("今天是：") + QDate::currentDate().toString(QStringLiteral("yyyy年MM月dd日")));
    StatusPanels[6]->setText(QStringLiteral("进入时间：") + LongTimeText(QTime::currentTime()));
}

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    // FormShow follows once the window is on the screen (paintEvent).
}

void TMainForm::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (FFirstPainted)
        return;
    // By its first paint the window manager has framed the window and the
    // user sees it. Only now do the nine pages start: creating and loading
    // them takes the window thread a while, which would otherwise keep the
    // window off the screen.
    FFirstPainted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FitFrame();
            HandleErrors([this] { FormShow(); });
        },
        Qt::QueuedConnection);
}

void TMainForm::FitFrame()
{
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull())
        return;
    resize(OuterSize.shrunkBy(frame));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(OuterSize.width() / 2, OuterSize.height() / 2));
}

void TMainForm::FormShow()
{
    pcMain->setCurrentIndex(0);
    OpenHomePages();
}

void TMainForm::OpenHomePages()
{
    for (std::size_t i = 0; i < TStoreCatalogue::Count; ++i)
        WB[i]->Navigate(FCatalogue[i].HomeAddress());
}

void TMainForm::bbtnFindClick()
{
    const std::string keyword = TrimKeyword(etCargao->text().toStdString());
    if (keyword.empty()) {
        etCargao->setFocus();
        throw std::runtime_error("请输入搜索商品");
    }
    FDispatching = true;
    struct TEnd {
        TMainForm& Form;
        ~TEnd() { Form.EndDispatch(); }
    } end{*this};
    SetScreenCursor(crHourGlass);
    ShowStatus(QStringLiteral("提示"), QStringLiteral("正在搜索..."));
    RunStoreSteps(FCatalogue, Browsers(), keyword);
    CloseStatus();
    SetScreenCursor(crDefault);
}

void TMainForm::EndDispatch()
{
    FDispatching = false;
    if (!std::exchange(FRelayPending, false))
        return;
    QMetaObject::invokeMethod(this, [this] { HandleErrors([this] { WB8DocumentComplete(); }); }, Qt::QueuedConnection);
}

void TMainForm::bbtnUpdateClick()
{
    // The component tells the user what it found; the result is not needed.
    Upgrader1.CheckForUpdate();
}

void TMainForm::etCargaoKeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        bbtnFind->click();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FPanelStrip && event->type() == QEvent::Resize) {
        for (QLabel* panel : StatusPanels)
            panel->resize(panel->width(), FPanelStrip->height());
    }
    if (watched == etCargao && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        HandleErrors([&] { etCargaoKeyDown(key); });
    }
    // Enter is not consumed: the box sees every key as usual.
    return QWidget::eventFilter(watched, event);
}

void TMainForm::WB8DocumentComplete()
{
    RelaySearch(FCatalogue, Browsers());
}

void TMainForm::ApplicationEvents1Message(QObject* target, QEvent* msg, bool& handled)
{
    const QEvent::Type type = msg->type();
    const bool rightButton =
        (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent*>(msg)->button() == Qt::RightButton;
    if (!rightButton && type != QEvent::ContextMenu)
        return;
    const auto* window = qobject_cast<QWidget*>(target);
    if (!window)
        return;
    for (TWebBrowser* browser : WB) {
        if (!IsChild(browser, window))
            continue;
        // The engine would turn a right click it never saw into no menu at
        // all; a context-menu event that follows one is ours to drop.
        if (rightButton) {
            const QPoint at = QCursor::pos();
            PopupComponent = browser;
            pm1->popup(at);
        }
        handled = true;
    }
}

void TMainForm::N1Click()
{
    if (PopupComponent)
        SearchSelection(*PopupComponent);
}

void TMainForm::SearchSelection(TWebBrowser& browser)
{
    try {
        const std::string text = browser.SelectionText();
        etCargao->setText(QString::fromStdString(text));
        bbtnFindClick();
    } catch (...) {
        // A search started from the menu never shows an error: with nothing
        // selected the box is simply emptied.
    }
}

void TMainForm::EditCopy1Execute()
{
    // Deliberately empty: Ctrl+C outside the keyword box copies nothing. In
    // the box its own copy comes first, as users expect of an edit box.
}

void TMainForm::EditPaste1Execute()
{
    if (etCargao->hasFocus())
        etCargao->paste();
}
