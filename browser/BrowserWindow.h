#pragma once
// A top-level window for a page's request for a new window (a link with
// target="_blank", window.open): what a desktop browser does by default. It
// shares the store tabs' profile, so a store login carries over, shows the
// page's title and closes like any window. It is not a store tab: the store
// tabs' right-click rule does not apply to it.

#include <QWebEngineView>

class TBrowserWindow : public QWebEngineView {
    Q_OBJECT
public:
    explicit TBrowserWindow(QWebEngineProfile* profile);
    ~TBrowserWindow() override;

    // Opens an empty window with profile, for the engine to load the page in.
    static TBrowserWindow* Open(QWebEngineProfile* profile);
    // The windows open now, oldest first.
    static QList<TBrowserWindow*> OpenWindows();
    // Destroys every open window; their pages must go before the profile.
    static void CloseAll();

protected:
    QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;
};
