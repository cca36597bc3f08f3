#include "ProcessTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

// The parent of pid, from /proc/pid/stat; the name field before it may hold
// blanks and parentheses, so the fields are counted from the last ')'.
pid_t ParentOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 1));
    char state = 0;
    pid_t parent = -1;
    fields >> state >> parent;
    return parent;
}

// Whether pid exists and has not ended (a zombie has ended).
bool Running(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

std::vector<pid_t> AllProcesses()
{
    std::vector<pid_t> pids;
    if (DIR* proc = ::opendir("/proc")) {
        while (const dirent* entry = ::readdir(proc)) {
            char* end = nullptr;
            const long pid = std::strtol(entry->d_name, &end, 10);
            if (pid > 0 && *end == '\0')
                pids.push_back(pid_t(pid));
        }
        ::closedir(proc);
    }
    return pids;
}

// The "Pss:" and "Rss:" lines of /proc/pid/smaps_rollup, in KiB.
void AddMemory(pid_t pid, TTreeMemory& total)
{
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    if (!rollup)
        return;
    ++total.Processes;
    std::string key;
    std::uint64_t kib = 0;
    std::string unit;
    while (rollup >> key) {
        if (key == "Pss:" || key == "Rss:") {
            rollup >> kib >> unit;
            (key == "Pss:" ? total.PssKiB : total.RssKiB) += kib;
        }
        rollup.ignore(1 << 16, '\n');
    }
}

class TSpawnActions {
public:
    TSpawnActions() { ::posix_spawn_file_actions_init(&FActions); }
    ~TSpawnActions() { ::posix_spawn_file_actions_destroy(&FActions); }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &FActions; }

private:
    posix_spawn_file_actions_t FActions;
};

pid_t Spawn(const std::string& program, const std::vector<std::string>& args, char* const* envp, const std::string& output)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    TSpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::posix_spawn_file_actions_adddup2(actions.Get(), STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, program.c_str(), actions.Get(), nullptr, argv.data(), envp);
    return rc == 0 ? pid : -1;
}

}  // namespace

TProcessTree::TProcessTree(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::pair<std::string, std::string>>& env, const std::string& logFile)
{
    std::map<std::string, std::string> variables;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::size_t eq = entry.find('=');
        variables[entry.substr(0, eq)] = eq == std::string::npos ? "" : entry.substr(eq + 1);
    }
    for (const auto& [name, value] : env)
        variables[name] = value;
    std::vector<std::string> entries;
    for (const auto& [name, value] : variables)
        entries.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    FPid = Spawn(program, args, envp.data(), logFile);
    if (FPid < 0)
        throw std::runtime_error("cannot start " + program);
}

TProcessTree::~TProcessTree()
{
    Terminate();
}

std::vector<pid_t> TProcessTree::Members() const
{
    std::multimap<pid_t, pid_t> children;
    for (pid_t pid : AllProcesses())
        children.emplace(ParentOf(pid), pid);
    std::vector<pid_t> members;
    if (!FReaped)
        members.push_back(FPid);
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto [first, last] = children.equal_range(members[i]);
        for (auto it = first; it != last; ++it)
            members.push_back(it->second);
    }
    return members;
}

TTreeMemory TProcessTree::Memory() const
{
    TTreeMemory total;
    for (pid_t pid : Members())
        AddMemory(pid, total);
    return total;
}

double TProcessTree::CpuSeconds() const
{
    std::uint64_t ticks = 0;
    for (pid_t pid : Members()) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        // The command name in parentheses may hold blanks; the fields after
        // it are fixed: utime and stime are the 12th and 13th.
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string field;
        for (int i = 1; i <= 13 && fields >> field; ++i)
            if (i >= 12)
                ticks += std::stoull(field);
    }
    return double(ticks) / double(::sysconf(_SC_CLK_TCK));
}

bool TProcessTree::Exited()
{
    if (!FReaped && ::waitpid(FPid, nullptr, WNOHANG) == FPid)
        FReaped = true;
    return FReaped;
}

void TProcessTree::Terminate()
{
    if (FReaped)
        return;
    // Collected before the signal: once the started process is gone, its
    // helpers are re-parented and no longer found below it.
    const std::vector<pid_t> members = Members();
    ::kill(FPid, SIGTERM);
    const auto alive = [&] {
        for (pid_t pid : members)
            if (Running(pid))
                return true;
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (alive() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (pid_t pid : members)
        if (Running(pid))
            ::kill(pid, SIGKILL);
    ::waitpid(FPid, nullptr, 0);
    FReaped = true;
    // The driver is the subreaper of its subjects' helpers (see main): reap
    // those that ended after their parent.
    for (int i = 0; i < 250 && alive(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

int RunQuietly(const std::string& program, const std::vector<std::string>& args)
{
    const pid_t pid = Spawn(program, args, environ, "/dev/null");
    if (pid < 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
