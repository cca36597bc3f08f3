#pragma once
// The benchmark's file server, in a child process of its own so that its
// CPU time is not counted as the engine's. It serves one file of the given
// size from memory at "/file.bin" on 127.0.0.1 and stops when the benchmark
// ends (its end of a pipe closes), or after an hour at the latest.

#include <cstdint>
#include <string>
#include <sys/types.h>

class TLocalSender {
public:
    // Forks: call before any thread exists. Throws std::runtime_error.
    explicit TLocalSender(std::uint64_t size);
    ~TLocalSender();
    TLocalSender(const TLocalSender&) = delete;
    TLocalSender& operator=(const TLocalSender&) = delete;

    std::string Url() const;
    // The byte the file holds at offset.
    static char ByteAt(std::uint64_t offset) { return char('a' + offset % 23); }

private:
    pid_t FPid = -1;
    int FLife = -1;  // the benchmark's end of the pipe the child waits on
    std::uint16_t FPort = 0;
};
