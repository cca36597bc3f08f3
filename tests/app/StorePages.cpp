#include "app/StorePages.h"

#include <QUrl>

TProxyTarget SplitProxyTarget(const std::string& target)
{
    const std::size_t scheme = target.find("://");
    if (scheme == std::string::npos)
        return {};
    const std::size_t hostStart = scheme + 3;
    const std::size_t pathStart = target.find_first_of("/?#", hostStart);
    TProxyTarget split;
    split.Host = target.substr(hostStart, pathStart - hostStart);
    split.PathAndQuery = pathStart == std::string::npos ? "/" : target.substr(pathStart);
    if (split.PathAndQuery.front() != '/')
        split.PathAndQuery.insert(0, "/");
    return split;
}

std::string PathAsSent(const std::string& address)
{
    const std::string path = QUrl(QString::fromStdString(address))
                                 .toString(QUrl::FullyEncoded | QUrl::RemoveScheme | QUrl::RemoveAuthority)
                                 .toStdString();
    return path.empty() ? "/" : path;
}

namespace {

// The form counts every way it can be sent: a submit button, submit() and
// any navigation away.
std::string GomeForm(bool withButton)
{
    std::string form = R"(<form action="/search" method="get"><input id="keyword" name="keyword" value="">)";
    if (withButton)
        form += R"(<input type="submit" id="subSearch" value="search">)";
    return form + R"(</form><script>
var submits = 0;
document.forms[0].addEventListener('submit', function () { ++submits; });
var formSubmit = HTMLFormElement.prototype.submit;
HTMLFormElement.prototype.submit = function () { ++submits; return formSubmit.call(this); };
window.addEventListener('beforeunload', function () { ++submits; });
</script>)";
}

// Every page records the mouse-button events that reach it, in order.
std::string Page(const std::string& title, const std::string& body)
{
    return "<!DOCTYPE html><html><head><title>" + title + R"(</title><script>
var seen = [];
['mousedown', 'mouseup', 'contextmenu'].forEach(function (type) {
    document.addEventListener(type, function (e) { seen.push(type + e.button); }, true);
});
</script></head><body>)" + body + "</body></html>";
}

std::string PathOf(const std::string& pathAndQuery)
{
    return pathAndQuery.substr(0, pathAndQuery.find('?'));
}

} // namespace

void ServeStorePage(const TTestRequest& request, TScriptedConnection& connection, const std::string& gomeHost)
{
    if (request.method == "CONNECT") {
        connection.Send("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        connection.Close();
        return;
    }
    const TProxyTarget target = SplitProxyTarget(request.target);
    const bool gome = !gomeHost.empty() && target.Host.rfind(gomeHost, 0) == 0;
    std::string charset = "utf-8";
    std::string body;
    const std::string path = PathOf(target.PathAndQuery);
    if (gome && target.PathAndQuery == "/") {
        body = Page("Gome", GomeForm(true));
    } else if (gome && path == "/gbk") {
        charset = "gbk";
        body = Page("Gome GBK", GomeForm(true));
    } else if (gome && path == "/nobutton") {
        body = Page("Gome without button", GomeForm(false));
    } else if (path == "/links") {
        body = Page("Links", R"(<a id="blank" href="/titled" target="_blank" style="display:block;width:300px;height:60px">open</a>)");
    } else if (path == "/titled") {
        body = Page("新窗口", "<p>opened</p>");
    } else {
        body = Page("Store", R"(<pre id="sel">  abc  </pre><p id="other">other text</p>)");
    }
    connection.Send(TScriptedServer::Response(200, body, "Content-Type: text/html; charset=" + charset));
}

TStoreCatalogue::THostTable TestStoreHosts()
{
    TStoreCatalogue::THostTable hosts;
    for (std::size_t i = 0; i < hosts.size(); ++i)
        hosts[i] = {"s" + std::to_string(i + 1) + ".test", "q" + std::to_string(i + 1) + ".test"};
    return hosts;
}
