#pragma once
// Shopscope's main window: the keyword box, nine store tabs side by side,
// and the status bar.

#include "browser/WebBrowser.h"
#include "skins/sHintManager.h"
#include "skins/sSkinManager.h"
#include "stores/SearchDispatch.h"
#include "stores/StoreCatalogue.h"
#include "upgrade/auUpgrader.h"

#include <QWidget>

#include <array>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QWebEngineProfile;
class TApplicationEvents;

class TMainForm : public QWidget {
    Q_OBJECT
public:
    // The nine browsers share profile, which must outlive the window.
    explicit TMainForm(QWebEngineProfile* profile, const TStoreCatalogue& catalogue = TStoreCatalogue(),
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    // The look of every window of the program; in force before the first
    // control of this window exists.
    TsSkinManager sSkinManager1;
    TsHintManager sHintManager1{sSkinManager1};

    const TStoreCatalogue& Catalogue() const { return FCatalogue; }
    TWebBrowser& Browser(int position) const { return *WB.at(static_cast<std::size_t>(position - 1)); }

    // Handlers. Those that can fail throw; their connections show the error.
    void FormCreate();
    void FormShow();
    void OpenHomePages();
    void bbtnFindClick();
    void bbtnUpdateClick();
    void etCargaoKeyDown(int key);
    void WB8DocumentComplete();
    void ApplicationEvents1Message(QObject* target, QEvent* msg, bool& handled);
    void N1Click();
    void SearchSelection(TWebBrowser& browser);
    void EditCopy1Execute();
    void EditPaste1Execute();

    QWidget* sPanel1;
    QLabel* sLabel1;
    QLineEdit* etCargao;
    QPushButton* bbtnFind;
    QLabel* sLabel2;
    QPushButton* bbtnUpdate;
    QTabWidget* pcMain;
    std::array<QWidget*, TStoreCatalogue::Count> sTabSheet{};
    std::array<TWebBrowser*, TStoreCatalogue::Count> WB{};
    QStatusBar* StatusBar1;
    std::array<QLabel*, 7> StatusPanels{};
    QMenu* pm1;
    QAction* N1;
    QAction* EditCopy1;
    QAction* EditPaste1;
    TApplicationEvents* ApplicationEvents1;
    TauUpgrader Upgrader1;
    // The browser in which pm1 was last opened.
    TWebBrowser* PopupComponent = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TStoreBrowsers Browsers() const;
    // The upgrade component's settings as the window stores them; they
    // override the component's initial values and come before Loaded.
    void ApplyStoredProperties();
    // Sizes the window so that its outer size, frame included, is the design's.
    void FitFrame();
    // Runs the relay that a Gome page completed during the dispatch asked for.
    void EndDispatch();

    TStoreCatalogue FCatalogue;
    QWidget* FPanelStrip = nullptr;
    bool FShown = false;
    bool FFirstPainted = false;
    bool FDispatching = false;
    bool FRelayPending = false;
};
