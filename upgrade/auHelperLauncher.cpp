#include "upgrade/auHelperLauncher.h"

#include "http/auUtils.h"
#include "platform/DetachedProcess.h"
#include "platform/ExecutableFile.h"
#include "platform/FileReplace.h"
#include "platform/NoExecMount.h"
#include "platform/Stream.h"
#include "platform/UserCacheFolder.h"
#include "upgrade/helper/HandOver.h"

#include <cerrno>
#include <new>
#include <vector>

namespace {

std::string CacheFolder()
{
    const std::string cache = platform::UserCacheFolder();
    return cache.empty() ? std::string() : cache + "shopscope/";
}

// Where the helper may be written, best first. A temporary folder on a
// noexec file system would take the file and then refuse to start it.
std::vector<std::string> HelperFolders(const TNoExecTest& MountedNoExec)
{
    std::string temp;
    GetTempFolder(temp);
    std::vector<std::string> folders;
    if (!MountedNoExec(temp))
        folders.push_back(temp);
    if (const std::string cache = CacheFolder(); !cache.empty() && cache != temp)
        folders.push_back(cache);
    return folders;
}

// The helper's bytes as compiled in; empty when the build left them out.
std::string HelperBytes()
{
    TMemoryStream stream;
    if (!SaveResourceToStream(handover::HelperResourceName, handover::HelperResourceName, &stream))
        return {};
    return std::string(stream.Bytes());
}

void Start(THelperStart& Result, const std::string& ProgramPath, const std::string& Parameter)
{
    Result.Error = platform::StartInOwnSession(handover::HelperCommand(Result.HelperPath, ProgramPath, Parameter),
                                               Result.ProcessId);
}

THelperStart StartHelper(const std::string& ProgramPath, const std::string& Parameter,
                         const TNoExecTest& MountedNoExec)
{
    THelperStart result;
    // The helper refuses a program it cannot find again by its path.
    if (ProgramPath.empty() || ProgramPath.front() != '/') {
        result.Error = ENOENT;
        return result;
    }
    const std::vector<std::string> folders = HelperFolders(MountedNoExec);
    if (folders.empty()) {
        result.Error = EACCES; // what starting from the noexec folder would answer
        return result;
    }
    const std::string bytes = HelperBytes();
    result.Error = bytes.empty() ? ENOENT : 0;
    for (const std::string& folder : folders) {
        result.HelperPath = folder + handover::HelperFileName;
        if (bytes.empty())
            break;
        result.Error = platform::WriteExecutableFile(result.HelperPath, bytes);
        if (result.Error == 0) {
            Start(result, ProgramPath, Parameter);
            return result;
        }
    }
    // Nowhere to write (a read-only or full folder): a helper that an
    // earlier hand-over wrote is still better than no upgrade, provided no
    // one else could have put or changed it there.
    for (const std::string& folder : folders) {
        const std::string earlier = folder + handover::HelperFileName;
        if (platform::IsOwnExecutable(earlier)) {
            result.HelperPath = earlier;
            Start(result, ProgramPath, Parameter);
            return result;
        }
    }
    return result;
}

} // namespace

std::string TempHelperPath()
{
    std::string temp;
    GetTempFolder(temp);
    return temp + handover::HelperFileName;
}

std::string CacheHelperPath()
{
    const std::string cache = CacheFolder();
    return cache.empty() ? std::string() : cache + handover::HelperFileName;
}

void RemoveStaleHelpers()
{
    try {
        for (const std::string& path : {TempHelperPath(), CacheHelperPath()}) {
            if (!path.empty())
                platform::RemoveFile(path);
        }
    } catch (...) {
        // No memory for a path: left for the next start to remove.
    }
}

THelperStart StartUpgradeHelper(const std::string& Parameter)
{
    return StartUpgradeHelper(platform::RunningExecutablePath(), Parameter, {});
}

THelperStart StartUpgradeHelper(const std::string& ProgramPath, const std::string& Parameter,
                                const TNoExecTest& MountedNoExec)
{
    try {
        return StartHelper(ProgramPath, Parameter, MountedNoExec ? MountedNoExec : TNoExecTest(platform::MountedNoExec));
    } catch (const std::bad_alloc&) {
        THelperStart result;
        result.Error = ENOMEM;
        return result;
    } catch (...) {
        // A folder test of the caller's failed: nothing was started.
        THelperStart result;
        result.Error = EIO;
        return result;
    }
}

void CloseAfterHandOver(const std::function<void()>& OwnClose)
{
    if (OwnClose)
        OwnClose();
    else
        CloseApplication();
}
