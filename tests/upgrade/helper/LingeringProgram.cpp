// Stands in for the running program: while it runs, its executable file is
// busy. Usage: LingeringProgram MARKER MILLISECONDS|forever. It writes the
// file MARKER just before it exits, so a program started after it can tell
// whether it had ended.

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const std::string time = argv[2];
    if (time == "forever") {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(time)));
    std::ofstream(argv[1]) << "exited\n";
    return 0;
}
