#include "platform/DetachedProcess.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

class TSpawnAttributes {
public:
    TSpawnAttributes()
    {
        ::posix_spawnattr_init(&FAttributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        ::posix_spawnattr_setsigdefault(&FAttributes, &defaults);
        ::posix_spawnattr_setflags(&FAttributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);
    }
    ~TSpawnAttributes() { ::posix_spawnattr_destroy(&FAttributes); }
    TSpawnAttributes(const TSpawnAttributes&) = delete;
    TSpawnAttributes& operator=(const TSpawnAttributes&) = delete;

    const posix_spawnattr_t* Get() const { return &FAttributes; }

private:
    posix_spawnattr_t FAttributes;
};

} // namespace

int StartInOwnSession(const std::vector<std::string>& Arguments, int& ProcessId)
{
    ProcessId = -1;
    if (Arguments.empty())
        return EINVAL;
    std::vector<char*> argv;
    for (const std::string& argument : Arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const TSpawnAttributes attributes;
    pid_t pid = -1;
    // glibc reports a failed exec here rather than in the child.
    const int error = ::posix_spawn(&pid, argv.front(), nullptr, attributes.Get(), argv.data(), environ);
    if (error == 0)
        ProcessId = pid;
    return error;
}

int WaitForChild(int ProcessId)
{
    int status = 0;
    while (::waitpid(ProcessId, &status, 0) < 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

int PollChild(int ProcessId, TChildEnd& End)
{
    End = {};
    int status = 0;
    pid_t ended;
    while ((ended = ::waitpid(ProcessId, &status, WNOHANG)) < 0) {
        if (errno != EINTR)
            return errno;
    }
    if (ended == 0)
        return 0;
    End.Ended = true;
    End.Signalled = WIFSIGNALED(status);
    End.Code = End.Signalled ? WTERMSIG(status) : WEXITSTATUS(status);
    return 0;
}

int OwnProcessId()
{
    return static_cast<int>(::getpid());
}

bool ProcessExists(int ProcessId)
{
    return ProcessId > 0 && (::kill(ProcessId, 0) == 0 || errno == EPERM);
}

void IgnoreBrokenPipes()
{
    ::signal(SIGPIPE, SIG_IGN);
}

} // namespace platform
