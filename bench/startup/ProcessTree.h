#pragma once
// A started program and every process below it, seen through /proc: how the
// start-up benchmark launches its subjects, measures them and ends them.

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

struct TTreeMemory {
    std::uint64_t PssKiB = 0;  // proportional set size: shared pages split among their users
    std::uint64_t RssKiB = 0;  // resident set size: shared pages counted in every process
    int Processes = 0;
};

class TProcessTree {
public:
    // Starts program with args; the variables in env replace or add to the
    // driver's own. Its output goes to logFile. Throws std::runtime_error.
    TProcessTree(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::pair<std::string, std::string>>& env, const std::string& logFile);
    // Ends the whole tree (Terminate).
    ~TProcessTree();
    TProcessTree(const TProcessTree&) = delete;
    TProcessTree& operator=(const TProcessTree&) = delete;

    pid_t Pid() const { return FPid; }
    // The started process and all its descendants alive now.
    std::vector<pid_t> Members() const;
    TTreeMemory Memory() const;
    // Processor time (user and system) the tree's live processes have used
    // so far, in seconds: steadier than the wall clock on a busy machine.
    double CpuSeconds() const;
    // Whether the started process has exited (it is reaped then).
    bool Exited();
    // SIGTERM to the started process, then SIGKILL to whatever of the tree
    // is still there after a grace period; waits until all are gone.
    void Terminate();

private:
    pid_t FPid = -1;
    bool FReaped = false;
};

// Runs program with args to its end, its output discarded; its exit status,
// or -1 when it could not be started.
int RunQuietly(const std::string& program, const std::vector<std::string>& args);
