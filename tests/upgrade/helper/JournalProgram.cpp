// Stands in for a new version of the program, put in place by the helper.
// It does at start what the real program does (RecoverAtStart), writes down
// how it was started and what that found into "started.txt" beside itself,
// then behaves as the file "behaviour" beside it says:
//   exit1, exit0          ends at once with that status, without confirming
//   abort, segv           crashes at once
//   confirm               confirms as the real program does, then ends with 0
//   late-confirm          waits until the file "release" appears, confirms,
//                         writes "confirmed.mark" and ends with 0
// "JournalProgram confirm PATH" only confirms for the program at PATH: the
// test scripts that stand in for a program call it so.

#include "upgrade/auUpgradeJournal.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::string Folder(const std::string& Path)
{
    return Path.substr(0, Path.rfind('/') + 1);
}

std::string Read(const std::string& Path)
{
    std::ifstream in(Path);
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

// Written aside and renamed, so the test sees all of it or nothing.
void Record(const std::string& Path, const std::string& Text)
{
    std::ofstream(Path + ".tmp") << Text;
    std::rename((Path + ".tmp").c_str(), Path.c_str());
}

bool Exists(const std::string& Path)
{
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0;
}

const char* OutcomeName(journal::TRecovery Outcome)
{
    switch (Outcome) {
    case journal::TRecovery::rcNone: return "none";
    case journal::TRecovery::rcHelperAtWork: return "helper-at-work";
    case journal::TRecovery::rcUnreadable: return "unreadable";
    case journal::TRecovery::rcCompleted: return "completed";
    case journal::TRecovery::rcUndone: return "undone";
    case journal::TRecovery::rcRolledBack: return "rolled-back";
    }
    return "?";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "confirm")
        return ConfirmStarted(argv[2]) ? 0 : 1;

    const TUpgradeRecovery recovery = RecoverAtStart();
    const std::string folder = Folder(argv[0]);
    std::string record = "argc=" + std::to_string(argc - 1) + "\n";
    for (int i = 1; i < argc; ++i)
        record += std::string("arg=") + argv[i] + "\n";
    record += std::string("recovery=") + OutcomeName(recovery.Outcome) + "\n";
    Record(folder + "started.txt", record);

    const std::string behaviour = Read(folder + "behaviour");
    if (behaviour == "exit1")
        return 1;
    if (behaviour == "abort")
        std::abort();
    if (behaviour == "segv")
        std::raise(SIGSEGV);
    if (behaviour == "confirm")
        return ConfirmStarted() ? 0 : 3;
    if (behaviour == "late-confirm") {
        while (!Exists(folder + "release"))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const bool confirmed = ConfirmStarted();
        Record(folder + "confirmed.mark", confirmed ? "confirmed\n" : "not confirmed\n");
        return 0;
    }
    return 0; // exit0
}
