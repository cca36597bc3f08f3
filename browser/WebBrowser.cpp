#include "browser/WebBrowser.h"

#include "browser/BrowserWindow.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace {

// A page that answers no script within this time is treated as having no
// usable document; it never blocks the window for long.
constexpr int ScriptTimeoutMs = 10000;

// Text as a JavaScript string literal, whatever it holds (quotes, line
// breaks, control characters, "</script>").
QString ScriptString(const std::string& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{QString::fromStdString(text)}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

class TWebElement : public TBrowserElement {
public:
    TWebElement(TWebBrowser& browser, std::string id) : FBrowser(browser), FId(std::move(id)) {}

    void SetValue(const std::string& value) override
    {
        Run(QStringLiteral("e.value = ") + ScriptString(value) + QStringLiteral(";"));
    }

    void Click() override { Run(QStringLiteral("e.click();")); }

private:
    void Run(const QString& action)
    {
        const QString script = QStringLiteral("(function () { var e = document.getElementById(") + ScriptString(FId) +
                               QStringLiteral("); if (!e) return false; ") + action + QStringLiteral(" return true; })()");
        if (!FBrowser.RunScript(script).toBool())
            throw std::runtime_error("页面上没有元素“" + FId + "”");
    }

    TWebBrowser& FBrowser;
    std::string FId;
};

} // namespace

TWebBrowser::TWebBrowser(QWebEngineProfile* profile, QWidget* parent)
    : QWebEngineView(profile, parent)
{
    connect(this, &QWebEngineView::loadStarted, this, [this] { FReadyState = ReadyStateLoading; });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool) {
        // A page that failed to load still shows a document (the engine's
        // error page), as the store search expects of a completed load.
        FReadyState = ReadyStateComplete;
        FHasDocument = true;
        if (OnDocumentComplete)
            OnDocumentComplete();
    });
}

void TWebBrowser::Navigate(const std::string& address)
{
    // Tolerant parsing escapes what a browser's address bar would (blanks,
    // non-ASCII characters) and never decodes an escape of a reserved or
    // non-ASCII byte. The engine takes addresses only in this form, which
    // writes hex digits in capitals and unescapes unreserved characters.
    const QUrl url(QString::fromStdString(address), QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().isEmpty())
        throw std::runtime_error("无法打开网址“" + address + "”");
    // A move to an anchor of the document shown stays in that document and
    // the engine reports no load for it: the document stays complete.
    const QUrl shown = FHasDocument ? this->url() : QUrl();
    const bool sameDocument = url.hasFragment() && url != shown &&
                              url.adjusted(QUrl::RemoveFragment) == shown.adjusted(QUrl::RemoveFragment);
    // Loading has begun as far as the caller can tell, even before the
    // engine reports it.
    if (!sameDocument || FReadyState != ReadyStateComplete)
        FReadyState = ReadyStateLoading;
    load(url);
}

void TWebBrowser::RequireDocument() const
{
    if (!FHasDocument)
        throw std::runtime_error("页面尚未打开");
}

std::string TWebBrowser::DocumentURL() const
{
    RequireDocument();
    return url().toString(QUrl::FullyEncoded).toStdString();
}

std::string TWebBrowser::SelectionText() const
{
    RequireDocument();
    return page()->selectedText().toStdString();
}

std::unique_ptr<TBrowserElement> TWebBrowser::ElementById(const std::string& id)
{
    const QString script =
        QStringLiteral("document.getElementById(") + ScriptString(id) + QStringLiteral(") !== null");
    if (!RunScript(script).toBool())
        return nullptr;
    return std::make_unique<TWebElement>(*this, id);
}

QVariant TWebBrowser::RunScript(const QString& script)
{
    RequireDocument();
    struct TAnswer {
        bool Arrived = false;
        QVariant Value;
    };
    auto answer = std::make_shared<TAnswer>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    page()->runJavaScript(script, QWebEngineScript::MainWorld, [answer, waiting](const QVariant& value) {
        answer->Arrived = true;
        answer->Value = value;
        if (waiting)
            waiting->quit();
    });
    if (!answer->Arrived) {
        auto timeout = std::chrono::milliseconds(ScriptTimeoutMs);
        if (FScriptDeadline)
            timeout = std::min(timeout, std::chrono::ceil<std::chrono::milliseconds>(*FScriptDeadline -
                                                                                     std::chrono::steady_clock::now()));
        if (timeout.count() > 0) {
            QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
    }
    if (!answer->Arrived)
        throw std::runtime_error("页面没有响应");
    return answer->Value;
}

QWebEngineView* TWebBrowser::createWindow(QWebEnginePage::WebWindowType)
{
    return TBrowserWindow::Open(page()->profile());
}
