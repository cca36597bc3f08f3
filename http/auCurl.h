#pragma once
// The libcurl pieces that the HTTP units share: the library's one-time
// set-up, the process-wide cookie store and the owning handle types.

#include <curl/curl.h>

#include <memory>
#include <string>

struct TCurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using TCurlEasy = std::unique_ptr<CURL, TCurlEasyDeleter>;

struct TCurlMultiDeleter {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
using TCurlMulti = std::unique_ptr<CURLM, TCurlMultiDeleter>;

struct TCurlListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using TCurlList = std::unique_ptr<curl_slist, TCurlListDeleter>;

struct TCurlUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
// The one owner of libcurl's URL handles.
using TCurlUrl = std::unique_ptr<CURLU, TCurlUrlDeleter>;

// A new easy handle, the library being set up first; null when libcurl
// cannot make one.
TCurlEasy CurlNewEasy();
// A new multi handle, the library being set up first; null when libcurl
// cannot make one.
TCurlMulti CurlNewMulti();

// Appends line to list; false when libcurl could not (list stays valid).
bool CurlAppend(TCurlList& list, const std::string& line);

// The one cookie store of the process, safe to share between threads.
CURLSH* CurlCookieShare();

// One part of a parsed URL as libcurl's text (empty when libcurl gives
// none), and libcurl's answer.
CURLUcode CurlURLPart(CURLU* URL, CURLUPart Part, unsigned Flags, std::string& Text);

// Reference resolved against the absolute address Base, as a browser does
// with a Location header; empty when either cannot be parsed.
std::string CurlResolveURL(const std::string& Base, const std::string& Reference);
