#pragma once
// Where the helper says what went wrong. It runs without a window after the
// program has closed, so each line goes to standard error and to a log file
// in the user's cache folder, where the user (or support) can find it later.

#include <string>

class THelperLog {
public:
    // Logs to LogPath(); an empty path means standard error only.
    THelperLog();
    explicit THelperLog(std::string Path);

    // Writes "Upgrader: <Text>" to standard error and appends Text to the log
    // file. Never fails: a log file that cannot be written is skipped.
    void Line(const std::string& Text) const;

    const std::string& Path() const { return FPath; }

    // <user's cache folder>shopscope/upgrader.log, or empty without one.
    static std::string LogPath();

private:
    std::string FPath;
};
