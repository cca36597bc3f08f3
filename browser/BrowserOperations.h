#pragma once
// What the store search asks of an embedded web browser. Text is UTF-8.
// Operations on a missing document or element throw std::runtime_error; the
// caller decides whether that is swallowed or shown.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TBrowserElement {
public:
    virtual ~TBrowserElement() = default;
    // The field holds value afterwards.
    virtual void SetValue(const std::string& value) = 0;
    // As a user's click: a form's submit button makes the browser navigate.
    virtual void Click() = 0;
};

class TBrowserOperations {
public:
    using TDeadline = std::optional<std::chrono::steady_clock::time_point>;
    enum { ReadyStateUninitialized = 0, ReadyStateLoading = 1, ReadyStateComplete = 4 };

    virtual ~TBrowserOperations() = default;

    // Starts loading address and returns without waiting for the page. The
    // address is taken as written: percent-escapes already in it are kept.
    // Throws when the address is refused.
    virtual void Navigate(const std::string& address) = 0;
    // ReadyStateComplete once the top-level document has loaded.
    virtual int ReadyState() const = 0;
    virtual bool HasDocument() const = 0;
    // The document's full address as the site escaped it (never a decoded
    // display form). Throws when there is no document.
    virtual std::string DocumentURL() const = 0;
    // The plain text selected in the page, empty when nothing is selected.
    // Throws when there is no document.
    virtual std::string SelectionText() const = 0;
    // The element with that id, or null. Throws when there is no document.
    virtual std::unique_ptr<TBrowserElement> ElementById(const std::string& id) = 0;
    // Element lookups and element operations wait for the page until deadline
    // at the latest, all of them together; past it they fail as a page that
    // does not answer. No deadline: each waits its own usual while.
    virtual void SetScriptDeadline(TDeadline deadline) = 0;

    // Raised each time a top-level document finishes loading.
    std::function<void()> OnDocumentComplete;
};

// Bounds every page-script wait of browser, from now until it goes out of
// scope, to total in all.
class TScriptTimeLimit {
public:
    TScriptTimeLimit(TBrowserOperations& browser, std::chrono::milliseconds total) : FBrowser(browser)
    {
        FBrowser.SetScriptDeadline(std::chrono::steady_clock::now() + total);
    }
    ~TScriptTimeLimit() { FBrowser.SetScriptDeadline(std::nullopt); }
    TScriptTimeLimit(const TScriptTimeLimit&) = delete;
    TScriptTimeLimit& operator=(const TScriptTimeLimit&) = delete;

private:
    TBrowserOperations& FBrowser;
};
