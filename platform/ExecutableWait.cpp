#include "platform/ExecutableWait.h"

#include <cerrno>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

// O_NONBLOCK: a FIFO at Path must not make the open itself block.
int TryOpenForWriting(const std::string& Path)
{
    const int fd = ::open(Path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

} // namespace

TExecutableWaitResult WaitUntilNotRunning(const std::string& Path, std::chrono::milliseconds Limit,
                                          std::chrono::milliseconds Pause)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + Limit;
    for (;;) {
        const int error = TryOpenForWriting(Path);
        if (error == 0)
            return {TExecutableWait::ewReleased, 0};
        if (error == EINTR)
            continue;
        if (error != ETXTBSY)
            return {TExecutableWait::ewOpenFailed, error};
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return {TExecutableWait::ewTimedOut, error};
        std::this_thread::sleep_for(std::min<Clock::duration>(Pause, deadline - now));
    }
}

} // namespace platform
