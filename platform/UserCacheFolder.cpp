#include "platform/UserCacheFolder.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace {

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return {};
}

std::string WithSlash(std::string Folder)
{
    if (!Folder.empty() && Folder.back() != '/')
        Folder += '/';
    return Folder;
}

} // namespace

std::string UserCacheFolder()
{
    // XDG: a relative value is invalid and is to be ignored.
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/')
        return WithSlash(cache);
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : WithSlash(home) + ".cache/";
}

} // namespace platform
