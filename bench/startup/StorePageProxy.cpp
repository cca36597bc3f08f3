#include "StorePageProxy.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr std::string_view LoadMark = "/__bench/loaded";

// A 1x1 transparent GIF.
const std::string& Pixel()
{
    static const std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00"
                                 "\x00\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b",
                                 43);
    return gif;
}

std::string StorePage(const std::string& host, bool home)
{
    std::string page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + host + "</title>"
                       "<link rel=\"stylesheet\" href=\"/static/site.css\"><script src=\"/static/site.js\"></script>"
                       "</head><body><h1>" + host + "</h1><ul>";
    for (int i = 0; i < 60; ++i)
        page += "<li><img src=\"/static/item" + std::to_string(i % 6) + ".gif\" width=\"40\" height=\"40\">"
                "商品 " + std::to_string(i) + " 价格 ¥" + std::to_string(100 + 7 * i) + ".00 有货 送货上门</li>";
    page += "</ul><script>window.addEventListener('load', function () { new Image().src = '";
    page += LoadMark;
    page += home ? "?home" : "?other";
    page += "'; });</script></body></html>";
    return page;
}

// The engines write percent escapes in capitals whatever the address had.
bool SameEscapedPath(std::string_view a, std::string_view b)
{
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return upper(x) == upper(y); });
}

std::string Answer(std::string_view contentType, std::string_view body)
{
    return TScriptedServer::Response(200, body, "Content-Type: " + std::string(contentType) + "\r\nCache-Control: no-store");
}

}  // namespace

TStorePageProxy::TStorePageProxy(std::map<std::string, std::string> homePages)
    : FHomePages(std::move(homePages))
    , FServer([this](const TTestRequest& request, TScriptedConnection& connection) { Answer(request, connection); },
              std::chrono::seconds(3600))
{
}

void TStorePageProxy::Answer(const TTestRequest& request, TScriptedConnection& connection)
{
    constexpr std::string_view scheme = "http://";
    const std::string& target = request.target;
    const std::size_t slash = target.find('/', scheme.size());
    const std::string host = target.starts_with(scheme) ? target.substr(scheme.size(), slash - scheme.size()) : "";
    const std::string path = slash == std::string::npos ? "/" : target.substr(slash);
    if (request.method == "CONNECT") {
        const std::string tunnelHost = target.substr(0, target.rfind(':'));
        if (FHomePages.contains(tunnelHost)) {
            std::lock_guard lock(FMutex);
            FHttpsOnly.insert(tunnelHost);
            FLoadedChanged.notify_all();
            connection.Send(TScriptedServer::Response(403, "", "Connection: close"));
            connection.Close();
            return;
        }
    }
    const auto home = FHomePages.find(host);
    if (request.method != "GET" || home == FHomePages.end()) {
        {
            std::lock_guard lock(FStrangersMutex);
            FStrangers.push_back(request.method + " " + target);
        }
        connection.Send(TScriptedServer::Response(request.method == "CONNECT" ? 403 : 404, "", "Connection: close"));
        connection.Close();
        return;
    }
    if (path.starts_with(LoadMark)) {
        // The program's relay may send a tab on to its search page before
        // the home page has loaded; that page is then the one the tab shows.
        if (path.ends_with("?home") || path.ends_with("?other")) {
            std::lock_guard lock(FMutex);
            FLoaded.try_emplace(host, TClock::now());
            FLoadedChanged.notify_all();
        }
        connection.Send(::Answer("image/gif", Pixel()));
    } else if (path == "/static/site.css") {
        connection.Send(::Answer("text/css", "body{font:14px sans-serif;margin:8px}li{list-style:none;padding:2px 0}"
                                             "img{vertical-align:middle;margin-right:6px;background:#e44}"));
    } else if (path == "/static/site.js") {
        connection.Send(::Answer("application/javascript", "document.documentElement.className = 'js';"));
    } else if (path.starts_with("/static/item")) {
        connection.Send(::Answer("image/gif", Pixel()));
    } else if (path == "/favicon.ico") {
        connection.Send(TScriptedServer::Response(404, ""));
    } else {
        // Other paths than the home page's are the relay's search pages.
        connection.Send(::Answer("text/html; charset=utf-8", StorePage(host, SameEscapedPath(path, home->second))));
    }
}

std::optional<TStorePageProxy::TClock::time_point> TStorePageProxy::WaitAllSettled(TClock::time_point deadline)
{
    std::unique_lock lock(FMutex);
    const auto settled = [this] {
        for (const auto& [host, path] : FHomePages)
            if (!FLoaded.contains(host) && !FHttpsOnly.contains(host))
                return false;
        return true;
    };
    if (!FLoadedChanged.wait_until(lock, deadline, settled) || FLoaded.empty())
        return std::nullopt;
    TClock::time_point last{};
    for (const auto& [host, when] : FLoaded)
        last = std::max(last, when);
    return last;
}

std::set<std::string> TStorePageProxy::Loaded()
{
    std::lock_guard lock(FMutex);
    std::set<std::string> hosts;
    for (const auto& [host, when] : FLoaded)
        hosts.insert(host);
    return hosts;
}

std::set<std::string> TStorePageProxy::HttpsOnly()
{
    std::lock_guard lock(FMutex);
    return FHttpsOnly;
}

std::vector<std::string> TStorePageProxy::Strangers() const
{
    std::lock_guard lock(FStrangersMutex);
    return FStrangers;
}
