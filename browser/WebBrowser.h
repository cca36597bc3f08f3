#pragma once
// One store tab's browser: a Qt WebEngine view that offers the browser
// operations the store search relies on.

#include "browser/BrowserOperations.h"

#include <QWebEngineView>

class QWebEngineProfile;

class TWebBrowser : public QWebEngineView, public TBrowserOperations {
    Q_OBJECT
public:
    TWebBrowser(QWebEngineProfile* profile, QWidget* parent = nullptr);

    void Navigate(const std::string& address) override;
    int ReadyState() const override { return FReadyState; }
    bool HasDocument() const override { return FHasDocument; }
    std::string DocumentURL() const override;
    std::string SelectionText() const override;
    std::unique_ptr<TBrowserElement> ElementById(const std::string& id) override;
    void SetScriptDeadline(TDeadline deadline) override { FScriptDeadline = deadline; }

    // Runs script in the page and waits for its result. Other events are
    // served meanwhile, user input excepted. Throws when the page shows no
    // document or does not answer in time (the script deadline, if set).
    QVariant RunScript(const QString& script);

protected:
    // A page's request for a new window opens a browser window of its own.
    QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;

private:
    void RequireDocument() const;

    int FReadyState = ReadyStateUninitialized;
    bool FHasDocument = false;
    TDeadline FScriptDeadline;
};
