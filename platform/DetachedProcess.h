#pragma once
// Starting a program that outlives its starter: in a session of its own, so
// neither the starter's end nor its terminal's hang-up takes it down.

#include <string>
#include <vector>

namespace platform {

// Starts the executable at Arguments[0] (a path; PATH is not searched) with
// the rest as its arguments, each passed as it is. Returns 0 and the child's
// process id, or the errno of the start that failed (no such file, not
// executable...).
int StartInOwnSession(const std::vector<std::string>& Arguments, int& ProcessId);

// Waits, without a limit, until the child ProcessId started above has ended.
// Returns 0 or errno.
int WaitForChild(int ProcessId);

// How a child ended.
struct TChildEnd {
    bool Ended = false;     // false: still running
    bool Signalled = false; // killed by signal Code, else exited with status Code
    int Code = 0;
    bool Succeeded() const { return Ended && !Signalled && Code == 0; }
};

// Looks, without waiting, whether the child ProcessId has ended, and reaps
// it when it has. Returns 0 or errno.
int PollChild(int ProcessId, TChildEnd& End);

// This process's id.
int OwnProcessId();

// The process ProcessId exists (a zombie included).
bool ProcessExists(int ProcessId);

// A broken standard error (a closed pipe) must not end this process while it
// writes a log line; programs started afterwards get the default back.
void IgnoreBrokenPipes();

} // namespace platform
