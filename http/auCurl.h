#pragma once
// The libcurl pieces that the HTTP engine's transfers share: the library's
// one-time set-up, the process-wide cookie store and owning handle types.

#include <curl/curl.h>

#include <memory>
#include <string>

struct TCurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using TCurlEasy = std::unique_ptr<CURL, TCurlEasyDeleter>;

struct TCurlListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using TCurlList = std::unique_ptr<curl_slist, TCurlListDeleter>;

// A new easy handle, the library being set up first; null when libcurl
// cannot make one.
TCurlEasy CurlNewEasy();

// Appends line to list; false when libcurl could not (list stays valid).
bool CurlAppend(TCurlList& list, const std::string& line);

// The one cookie store of the process, safe to share between threads.
CURLSH* CurlCookieShare();

// Reference resolved against the absolute address Base, as a browser does
// with a Location header; empty when either cannot be parsed.
std::string CurlResolveURL(const std::string& Base, const std::string& Reference);
