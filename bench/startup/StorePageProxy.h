#pragma once
// The HTTP proxy the start-up benchmark's subjects load the nine store home
// pages through. Every store host gets the same small page with a style
// sheet, a script and images; when the page has loaded, its script asks for
// one last image, and that request marks the host's page as loaded (the home
// page, or the search page the relay sent its tab on to first).

#include "support/ScriptedServer.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

class TStorePageProxy {
public:
    using TClock = std::chrono::steady_clock;

    // Counts the home pages given as host -> path ("/" at least).
    explicit TStorePageProxy(std::map<std::string, std::string> homePages);

    std::uint16_t Port() const { return FServer.Port(); }
    // Blocks until every host's home page has either loaded or been refused
    // as an HTTPS tunnel (a host on the engine's HSTS preload list is never
    // asked for over plain HTTP), or until deadline. The time the last page
    // loaded, or nothing.
    std::optional<TClock::time_point> WaitAllSettled(TClock::time_point deadline);
    std::set<std::string> Loaded();
    std::set<std::string> HttpsOnly();
    std::size_t RequestCount() const { return FServer.Requests().size(); }
    std::vector<TTestRequest> Requests() const { return FServer.Requests(); }
    // Requests that no page asked for (other hosts, other tunnels), as sent.
    std::vector<std::string> Strangers() const;

private:
    void Answer(const TTestRequest& request, TScriptedConnection& connection);

    const std::map<std::string, std::string> FHomePages;
    std::mutex FMutex;
    std::condition_variable FLoadedChanged;
    std::map<std::string, TClock::time_point> FLoaded;  // host -> its home page's load mark
    std::set<std::string> FHttpsOnly;                   // hosts asked for only through a tunnel
    mutable std::mutex FStrangersMutex;
    std::vector<std::string> FStrangers;
    TScriptedServer FServer;  // last: stopped before the state its handler uses
};
