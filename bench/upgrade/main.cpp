// The upgrade helper's hand-over, measured on real processes: a stand-in
// program runs from a fresh folder for 2 s beside its downloaded
// replacement ("shopscope.uTMP"), and the built helper is given the
// program's path and "+/afterupgrade0", as the program starts it, at once:
// it waits for the program's file to be released.
//
// Its floors, in the same run:
//  - told at once: this process, already running, learns of the program's
//    exit from wait4 and does the helper's work itself with the same calls
//    (list the ".uTMP" files, put each in place, restart the program): the
//    least the hand-over can take;
//  - never waiting: the helper started only once the program has exited,
//    so it finds the file free at its first try: its CPU time is what the
//    helper costs without any waiting.
//
// Printed: the hand-over (from the program's exit to the upgraded
// program's start, steady-clock notes of the stand-in) and the helper's CPU
// time (user plus system, from wait4), medians of the rounds, and the
// ratios against the floors.
//
// bench_upgrade [--rounds N] [--run-ms MS]

#include "platform/DetachedProcess.h"
#include "platform/FileReplace.h"
#include "platform/FolderListing.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TRound {
    double HandOverMs = 0;
    double HelperCpuMs = 0;
};

int Spawn(const std::vector<std::string>& Arguments)
{
    int pid = -1;
    if (const int error = platform::StartInOwnSession(Arguments, pid))
        throw std::runtime_error("cannot start " + Arguments.front() + ": " + std::strerror(error));
    return pid;
}

// Waits for the child; its CPU time in milliseconds.
double Reap(int Pid)
{
    int status = 0;
    rusage usage{};
    while (::wait4(Pid, &status, 0, &usage) < 0)
        if (errno != EINTR)
            throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("a child did not end well");
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The note a stand-in wrote, once it is there (10 s at the most).
long long Note(const fs::path& File)
{
    for (int i = 0; i < 10000 && !fs::exists(File); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::ifstream in(File);
    long long value = 0;
    if (!(in >> value))
        throw std::runtime_error("no note " + File.string());
    return value;
}

enum TMode { mdWaiting, mdToldAtOnce, mdNeverWaiting };

// What the helper does once the program has gone, done here.
void HandOverHere(const fs::path& Folder, const std::string& Program)
{
    std::vector<std::string> names;
    if (platform::FilesEndingIn(Folder.string() + "/", ".uTMP", names) != 0)
        throw std::runtime_error("cannot list " + Folder.string());
    for (const std::string& name : names) {
        const std::string target = (Folder / name.substr(0, name.size() - 5)).string();
        const auto role = target == Program ? platform::TReplaceRole::rrProgram : platform::TReplaceRole::rrData;
        if (platform::ReplaceFile((Folder / name).string(), target, role) != 0)
            throw std::runtime_error("cannot replace " + target);
    }
    int restarted = -1;
    if (platform::StartInOwnSession({Program, "/afterupgrade"}, restarted) != 0)
        throw std::runtime_error("cannot restart " + Program);
}

TRound Round(TMode Mode, int RunMs)
{
    const fs::path folder = fs::temp_directory_path() /
                            ("shopscope-bench-upgrade-" + std::to_string(::getpid()) + "-" + std::to_string(Mode));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path program = folder / "shopscope";
    fs::copy_file(STANDIN_PATH, program);
    fs::copy_file(STANDIN_PATH, folder / "shopscope.uTMP");
    // The stand-ins write their notes there; the helper logs there if it
    // has to.
    ::setenv("SHOPSCOPE_BENCH_MARKS", folder.c_str(), 1);
    ::setenv("XDG_CACHE_HOME", folder.c_str(), 1);

    const std::vector<std::string> helper = {UPGRADER_PATH, program.string(), "+/afterupgrade0"};
    const int running = Spawn({program.string(), "--run", std::to_string(RunMs)});
    TRound round;
    if (Mode == mdWaiting) {
        const int waiting = Spawn(helper);
        Reap(running);
        round.HelperCpuMs = Reap(waiting);
    } else {
        Reap(running);
        if (Mode == mdToldAtOnce)
            HandOverHere(folder, program.string());
        else
            round.HelperCpuMs = Reap(Spawn(helper));
    }
    round.HandOverMs = double(Note(folder / "started") - Note(folder / "exited")) / 1e6;
    fs::remove_all(folder);
    return round;
}

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    const std::size_t n = Values.size();
    return n % 2 ? Values[n / 2] : (Values[n / 2 - 1] + Values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    int runMs = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--run-ms") == 0)
            runMs = std::max(1, std::atoi(argv[i + 1]));
    }
    try {
        std::vector<double> handOver[3], cpu[3];
        for (int r = 0; r < rounds; ++r) {
            for (const TMode mode : {mdWaiting, mdToldAtOnce, mdNeverWaiting}) {
                const TRound round = Round(mode, runMs);
                handOver[mode].push_back(round.HandOverMs);
                cpu[mode].push_back(round.HelperCpuMs);
            }
        }
        const double waiting = Median(handOver[mdWaiting]);
        const double toldAtOnce = Median(handOver[mdToldAtOnce]);
        const double startedAfter = Median(handOver[mdNeverWaiting]);
        const double waitingCpu = Median(cpu[mdWaiting]);
        const double neverWaitingCpu = Median(cpu[mdNeverWaiting]);
        std::printf("upgrade hand-over, %d rounds, the program closing after %d ms\n", rounds, runMs);
        std::printf("  exit to restart: waiting helper %7.2f ms, told at once %7.2f ms: ratio %6.2f\n", waiting,
                    toldAtOnce, waiting / std::max(toldAtOnce, 0.001));
        std::printf("                   (a helper started only after the exit: %.2f ms)\n", startedAfter);
        std::printf("  helper CPU:      waiting helper %7.2f ms, never waiting %7.2f ms: ratio %6.2f\n", waitingCpu,
                    neverWaitingCpu, waitingCpu / std::max(neverWaitingCpu, 0.001));
        std::printf("  the wait took %.2f %% of a core\n", std::max(0.0, waitingCpu - neverWaitingCpu) / runMs * 100.0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_upgrade: %s\n", e.what());
        return 1;
    }
    return 0;
}
