#include "upgrade/helper/HelperLog.h"

#include "platform/LogFile.h"
#include "platform/UserCacheFolder.h"

THelperLog::THelperLog()
    : FPath(LogPath())
{
}

THelperLog::THelperLog(std::string Path)
    : FPath(std::move(Path))
{
}

void THelperLog::Line(const std::string& Text) const
{
    platform::WriteStandardError("Upgrader: " + Text + "\n");
    if (!FPath.empty())
        platform::AppendLogLine(FPath, Text);
}

std::string THelperLog::LogPath()
{
    const std::string cache = platform::UserCacheFolder();
    return cache.empty() ? std::string() : cache + "shopscope/upgrader.log";
}
