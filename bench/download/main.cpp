// Download benchmark: the HTTP engine against the curl tool, fetching the
// same 256 MiB file from a local server in the same run.
//
// The engine raises one progress event per chunk on the window thread, as
// the upgrade wizard needs it; the worker hands the window thread what curl
// delivered in batches, and the chunks' events are raised there. It runs at
// the default chunk of 4096 bytes and at 65536 bytes, each into a file and
// into memory. curl writes the same file with `curl -s -o FILE URL`.
// Figures: throughput (MiB/s) and CPU time (user + system, of this process
// for the engine and of the curl process for curl), the median of the
// repetitions, and the ratios to curl. Each engine run also tells on stderr
// how many calls it made to the window thread.

#include "LocalSender.h"
#include "http/auDispatcher.h"
#include "http/auHTTP.h"
#include "platform/Stream.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;

constexpr std::uint64_t FileSize = 256ull << 20;

struct TSample {
    double Seconds = 0;
    double CpuSeconds = 0;
};

double CpuSeconds(const rusage& usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double SelfCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

void Check(bool condition, const std::string& what)
{
    if (!condition)
        throw std::runtime_error(what);
}

TSample RunCurl(const std::string& url, const std::string& file)
{
    std::vector<std::string> args = {"curl", "-s", "-o", file, url};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const auto started = TClock::now();
    pid_t pid = -1;
    Check(::posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) == 0, "cannot start curl");
    int status = 0;
    rusage usage{};
    Check(::wait4(pid, &status, 0, &usage) == pid, "lost the curl process");
    const double seconds = std::chrono::duration<double>(TClock::now() - started).count();
    Check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "curl failed with status " + std::to_string(status));
    Check(std::filesystem::file_size(file) == FileSize, "curl wrote a file of the wrong size");
    std::filesystem::remove(file);
    return {seconds, CpuSeconds(usage)};
}

// One transfer on the window thread's event loop; the file is removed after.
TSample RunEngine(const std::string& url, const std::string& file, std::int32_t bufferSize)
{
    TauCustomHTTP http;
    http.SetURL(url);
    http.SetOutputFileName(file);
    http.SetTransferBufferSize(bufferSize);
    http.Proxy().SetAccessType(atDirect);

    QEventLoop loop;
    std::optional<std::string> outcome;
    std::int64_t stored = -1, progressEvents = 0;
    const auto finish = [&](const std::string& what) {
        outcome = what;
        loop.quit();
    };
    http.OnTransferProgress = [&](TauCustomHTTP&, const std::string&, std::int32_t, std::int32_t, std::int32_t,
                                  std::int32_t, std::uint8_t, float, TStream*) { ++progressEvents; };
    http.OnDone = [&](TauCustomHTTP&, const std::string&, std::int32_t bytesRead, TStream* data) {
        stored = file.empty() ? (data ? data->Size() : -1) : bytesRead;
        finish("done");
    };
    http.OnConnectionLost = [&](TauCustomHTTP&, const std::string&, std::int32_t, std::int32_t, TStream*) { finish("connection lost"); };
    http.OnNoResponse = [&](TauCustomHTTP&) { finish("no response"); };
    http.OnHTTPError = [&](TauCustomHTTP&, std::int32_t status, TStream*) { finish("HTTP error " + std::to_string(status)); };
    http.OnTransferAborted = [&](TauCustomHTTP&) { finish("aborted"); };
    // Alone, it means the output file could not be made; before another
    // outcome, that one tells more.
    http.OnFailure = [&](TauCustomHTTP& sender) {
        if (!sender.OutcomeFollows())
            finish("failure");
    };

    const std::size_t callsBefore = TauCallsRun();
    const double cpuBefore = SelfCpuSeconds();
    const auto started = TClock::now();
    Check(http.Read(), "the engine did not start");
    loop.exec();
    const double seconds = std::chrono::duration<double>(TClock::now() - started).count();
    const double cpu = SelfCpuSeconds() - cpuBefore;
    std::fprintf(stderr, "  %zu calls to the window thread, %lld progress events\n", TauCallsRun() - callsBefore,
                 static_cast<long long>(progressEvents));
    Check(outcome == "done", "the engine's transfer ended with " + outcome.value_or("nothing"));
    Check(progressEvents > 0, "the engine reported no progress");
    if (!file.empty()) {
        Check(std::filesystem::file_size(file) == FileSize, "the engine wrote a file of the wrong size");
        std::filesystem::remove(file);
    } else {
        Check(stored == std::int64_t(FileSize), "the engine kept " + std::to_string(stored) + " bytes in memory");
    }
    return {seconds, cpu};
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct TCase {
    std::string Name;
    bool Curl = false;
    bool ToFile = true;
    std::int32_t BufferSize = 0;
    std::vector<double> Seconds, Cpu;
};

}  // namespace

int main(int argc, char* argv[])
try {
    // Loopback only: a proxy from the environment must not take part.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
    int repetitions = 3;
    if (argc == 3 && std::string(argv[1]) == "--runs")
        repetitions = std::max(1, std::atoi(argv[2]));
    else if (argc != 1)
        throw std::runtime_error("usage: bench_download [--runs N]");

    // Before QCoreApplication: the sender is forked, and no thread may exist yet.
    const TLocalSender sender(FileSize);
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    Check(folder.isValid(), "cannot make a temporary folder");
    const std::string file = folder.filePath(QStringLiteral("file.bin")).toStdString();

    std::vector<TCase> cases = {
        {"curl -s -o FILE", true, true, 0, {}, {}},
        {"engine, file, 4096 B", false, true, 4096, {}, {}},
        {"engine, memory, 4096 B", false, false, 4096, {}, {}},
        {"engine, file, 65536 B", false, true, 65536, {}, {}},
        {"engine, memory, 65536 B", false, false, 65536, {}, {}},
    };
    // Once each for warm caches; not counted.
    RunCurl(sender.Url(), file);
    RunEngine(sender.Url(), file, 65536);
    for (int run = 0; run < repetitions; ++run)
        for (TCase& c : cases) {
            const TSample sample = c.Curl ? RunCurl(sender.Url(), file) : RunEngine(sender.Url(), c.ToFile ? file : "", c.BufferSize);
            c.Seconds.push_back(sample.Seconds);
            c.Cpu.push_back(sample.CpuSeconds);
            std::fprintf(stderr, "run %d %-24s %6.2f s, CPU %6.2f s\n", run + 1, c.Name.c_str(), sample.Seconds, sample.CpuSeconds);
        }

    const double mib = double(FileSize) / (1 << 20);
    const double curlRate = mib / Median(cases[0].Seconds);
    const double curlCpu = Median(cases[0].Cpu);
    std::printf("Download of %.0f MiB from a local server, median of %d runs\n\n", mib, repetitions);
    std::printf("%-26s %10s %9s %15s %13s\n", "case", "MiB/s", "CPU s", "speed / curl", "CPU / curl");
    for (const TCase& c : cases) {
        const double rate = mib / Median(c.Seconds);
        const double cpu = Median(c.Cpu);
        std::printf("%-26s %10.1f %9.2f %14.2fx %12.2fx\n", c.Name.c_str(), rate, cpu, rate / curlRate, cpu / curlCpu);
    }
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "bench_download: %s\n", error.what());
    return 1;
}
