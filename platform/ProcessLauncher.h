#pragma once
// Starting another program, detached from this one and through no shell.
// Callers hold it by reference so that tests can see what would be started.

#include <string>
#include <vector>

class TProcessLauncher {
public:
    TProcessLauncher() = default;
    virtual ~TProcessLauncher() = default;
    TProcessLauncher(const TProcessLauncher&) = delete;
    TProcessLauncher& operator=(const TProcessLauncher&) = delete;

    // Starts Arguments[0] (looked up on PATH when it has no "/") with the rest
    // as its arguments. Whether it started is not reported.
    virtual void StartDetached(const std::vector<std::string>& Arguments);

    // The arguments that run CommandText: the whole text when it names an
    // executable file (a path may hold blanks), else the text split at blanks
    // with quotes honoured, as in "env NAME=value /usr/bin/browser".
    static std::vector<std::string> CommandArguments(const std::string& CommandText);
};
