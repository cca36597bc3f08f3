#pragma once
// The store pages the GUI tests serve, as an HTTP proxy would: every request
// comes with an absolute address, so one server on 127.0.0.1 stands for all
// nine stores. HTTPS (CONNECT) is refused.

#include "stores/StoreCatalogue.h"
#include "support/ScriptedServer.h"

#include <string>

struct TProxyTarget {
    std::string Host;
    std::string PathAndQuery;  // "/" at least
};

// Splits "http://host/path?q"; an empty Host when target is not absolute.
TProxyTarget SplitProxyTarget(const std::string& target);

// The path and query a proxy receives when the engine opens address: the
// engine's address type writes escapes with capital hex digits, and a bare
// host is asked for "/".
std::string PathAsSent(const std::string& address);

// Pages by path (any query) on any host:
//   "/" on a host that starts with gomeHost: the Gome search form (UTF-8),
//   whose page counts its submissions in `submits`; "/gbk": the same form in
//   a GBK page; "/nobutton": the form without its "subSearch" button;
//   "/links": a link with target="_blank" (id "blank") to "/titled", titled
//   "新窗口"; anything else: a result page whose element "sel" holds "  abc  ".
// Every page lists the mouse-button events that reach it in `seen`
// ("mousedown2", "contextmenu2", "mouseup0", ...).
void ServeStorePage(const TTestRequest& request, TScriptedConnection& connection, const std::string& gomeHost);

// The nine stores at hosts only the tests' proxy answers for: store i at
// "si.test", its search host "qi.test".
TStoreCatalogue::THostTable TestStoreHosts();
