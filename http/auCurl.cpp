#include "http/auCurl.h"

#include <mutex>

namespace {

void GlobalInit()
{
    // curl_easy_init would do this itself, but not safely while another
    // thread does the same; a function-local static runs it exactly once.
    static const CURLcode done = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)done;
}

struct TCookieStore {
    CURLSH* Share = nullptr;
    std::mutex Locks[CURL_LOCK_DATA_LAST];

    TCookieStore()
    {
        GlobalInit();
        Share = curl_share_init();
        if (!Share)
            return;
        curl_share_setopt(Share, CURLSHOPT_LOCKFUNC, &TCookieStore::Lock);
        curl_share_setopt(Share, CURLSHOPT_UNLOCKFUNC, &TCookieStore::Unlock);
        curl_share_setopt(Share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(Share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }

    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* user)
    {
        static_cast<TCookieStore*>(user)->Locks[data].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* user)
    {
        static_cast<TCookieStore*>(user)->Locks[data].unlock();
    }
};

struct TCurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

} // namespace

TCurlEasy CurlNewEasy()
{
    GlobalInit();
    return TCurlEasy(curl_easy_init());
}

TCurlMulti CurlNewMulti()
{
    GlobalInit();
    return TCurlMulti(curl_multi_init());
}

bool CurlAppend(TCurlList& list, const std::string& line)
{
    curl_slist* longer = curl_slist_append(list.get(), line.c_str());
    if (!longer)
        return false;
    list.release();
    list.reset(longer);
    return true;
}

CURLSH* CurlCookieShare()
{
    // Deliberately never freed: a discarded worker may still be unwinding a
    // transfer that uses the store while the process exits.
    static TCookieStore* const store = new TCookieStore;
    return store->Share;
}

CURLUcode CurlURLPart(CURLU* URL, CURLUPart Part, unsigned Flags, std::string& Text)
{
    char* value = nullptr;
    const CURLUcode rc = curl_url_get(URL, Part, &value, Flags);
    const std::unique_ptr<char, TCurlTextDeleter> owned(value);
    Text = rc == CURLUE_OK && value ? value : "";
    return rc;
}

std::string CurlResolveURL(const std::string& Base, const std::string& Reference)
{
    TCurlUrl url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, Base.c_str(), 0) != CURLUE_OK)
        return {};
    // Setting a URL on a handle that holds one resolves it relative to that.
    if (curl_url_set(url.get(), CURLUPART_URL, Reference.c_str(), 0) != CURLUE_OK)
        return {};
    std::string text;
    CurlURLPart(url.get(), CURLUPART_URL, 0, text);
    return text;
}
