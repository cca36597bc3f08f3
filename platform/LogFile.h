#pragma once
// Appending lines to a log file that the user can find later.

#include <string>

namespace platform {

// Appends "<local date and time> [<process id>] <Line>\n" to the file at
// Path, creating it (0600) and its missing folders (0700). Returns 0 or errno.
int AppendLogLine(const std::string& Path, const std::string& Line);

// Writes Text to standard error as it is; failures are ignored.
void WriteStandardError(const std::string& Text);

// The system's text for an errno value.
std::string ErrorText(int Error);

} // namespace platform
