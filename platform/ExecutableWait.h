#pragma once
// Waiting until no process runs from an executable file. While a program
// runs, Linux answers an open of its executable for writing with ETXTBSY
// ("text file busy"); the first other answer means it has ended.

#include <chrono>
#include <string>

namespace platform {

enum class TExecutableWait {
    ewReleased,   // the file opened for writing: nothing runs from it any more
    ewOpenFailed, // another answer than "text file busy" (no such file, no permission...)
    ewTimedOut,   // still busy when the limit had passed
};

struct TExecutableWaitResult {
    TExecutableWait Outcome = TExecutableWait::ewReleased;
    int Error = 0; // errno of the last open; 0 when it succeeded
};

// Tries to open Path for writing (an existing file only, never truncated or
// written) every Pause until the answer is anything but ETXTBSY or Limit has
// passed. Sleeps between tries, so the wait costs next to no processor time.
TExecutableWaitResult WaitUntilNotRunning(const std::string& Path, std::chrono::milliseconds Limit,
                                          std::chrono::milliseconds Pause);

} // namespace platform
