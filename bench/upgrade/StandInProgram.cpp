// Stands in for the program during the hand-over benchmark. "--run MS"
// runs for MS milliseconds and notes the moment it ends; "/afterupgrade",
// as the helper restarts it, notes the moment it starts and confirms the
// start, as the program does, so the helper keeps the new version. The notes go to
// the folder named by SHOPSCOPE_BENCH_MARKS, as steady-clock nanoseconds,
// each written aside and renamed, so a reader never sees half of one.

#include "upgrade/auUpgradeJournal.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

long long Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int Note(const std::string& Folder, const std::string& Name, long long When)
{
    const std::string path = Folder + "/" + Name;
    {
        std::ofstream out(path + ".part");
        out << When << '\n';
        if (!out)
            return 1;
    }
    return std::rename((path + ".part").c_str(), path.c_str()) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const long long started = Now();
    const char* marks = std::getenv("SHOPSCOPE_BENCH_MARKS");
    if (!marks || argc < 2)
        return 2;
    const std::string mode = argv[1];
    if (mode == "/afterupgrade") {
        const int noted = Note(marks, "started", started);
        ConfirmStarted(argv[0]);
        return noted;
    }
    if (mode == "--run" && argc >= 3) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        return Note(marks, "exited", Now());
    }
    return 2;
}
