// Start-up benchmark: the program against the same program without its skin,
// Chromium and a bare Qt WebEngine window, all showing the same nine store
// home pages, all measured in one run.
//
// For each subject it measures the time from starting the process to its
// first visible window, to the ninth home page loaded (seen at the proxy
// that serves the pages), and the memory of its whole process tree once the
// pages are loaded. Run it on a display of its own: bench/startup/run.sh.

#include "ProcessTree.h"
#include "StorePageProxy.h"
#include "stores/StoreCatalogue.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;
using TEnv = std::vector<std::pair<std::string, std::string>>;

struct TOptions {
    int Rounds = 3;
    int TimeoutSeconds = 60;
    int SettleMs = 3000;  // after the last page, before the memory is read
    bool Tabs = true;
    bool SkinOnly = false;  // the program with and without its skin, nothing else
    bool KeepLogs = false;
    bool Verbose = false;  // every request the proxy saw, after each run
    std::string Program = SHOPSCOPE_PROGRAM;
    std::string Unskinned = SHOPSCOPE_PROGRAM_UNSKINNED;
    std::string WebEngineTabs = SHOPSCOPE_WEBENGINE_TABS;
    std::string Chromium = "chromium";
};

struct TSubject {
    std::string Name;
    std::string Program;
    // Arguments and extra variables, given the proxy's port and a fresh folder.
    std::function<std::vector<std::string>(std::uint16_t, const std::string&)> Args;
    std::function<TEnv(std::uint16_t)> Env;
};

struct TRun {
    double ShownSeconds = 0;
    double LoadedSeconds = 0;
    TTreeMemory Memory;
    double CpuSeconds = 0;  // the tree's, once the pages have settled
    std::size_t PagesLoaded = 0;
    std::string HttpsOnly;  // the hosts it would only ask for over HTTPS
};

std::string Join(const std::set<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : " ") + item;
    return text;
}

// The engine's own switches, the same for every subject so that none gets
// work the others skip.
const char* const CommonSwitches = "--disable-gpu --no-first-run --disable-background-networking --disable-component-update";

std::string ProxySwitch(std::uint16_t port)
{
    return "--proxy-server=127.0.0.1:" + std::to_string(port);
}

double Seconds(TClock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

std::optional<TRun> RunOnce(const TSubject& subject, const TStoreCatalogue& catalogue, const TOptions& options)
{
    std::map<std::string, std::string> homePages;
    std::set<std::string> hosts;
    for (const TStoreEntry& store : catalogue) {
        hosts.insert(store.MainHost);
        homePages[store.MainHost] = store.HomePath.empty() ? "/" : store.HomePath;
    }
    char pattern[] = "/tmp/shopscope-startup-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot make a temporary folder");
    const std::string folder = pattern;
    const std::string log = folder + ".log";

    std::optional<TRun> run;
    {
        TStorePageProxy proxy(homePages);
        TEnv env = {{"HOME", folder + "/home"},
                    {"XDG_CONFIG_HOME", folder + "/home/.config"},
                    {"XDG_CACHE_HOME", folder + "/home/.cache"},
                    {"XDG_DATA_HOME", folder + "/home/.local/share"}};
        for (auto& variable : subject.Env(proxy.Port()))
            env.push_back(std::move(variable));
        const auto deadline = TClock::now() + std::chrono::seconds(options.TimeoutSeconds);

        const auto started = TClock::now();
        TProcessTree tree(subject.Program, subject.Args(proxy.Port(), folder), env, log);
        std::optional<TClock::time_point> shown;
        const std::vector<std::string> search = {"search", "--onlyvisible", "--pid", std::to_string(tree.Pid())};
        while (!shown && TClock::now() < deadline && !tree.Exited()) {
            if (RunQuietly("xdotool", search) == 0)
                shown = TClock::now();
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const std::optional<TClock::time_point> loaded = shown ? proxy.WaitAllSettled(deadline) : std::nullopt;
        if (shown && loaded && !tree.Exited()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(options.SettleMs));
            run = TRun{Seconds(*shown - started), Seconds(*loaded - started), tree.Memory(), tree.CpuSeconds(),
                       proxy.Loaded().size(), Join(proxy.HttpsOnly())};
        } else {
            std::set<std::string> missing;
            const std::set<std::string> done = proxy.Loaded(), httpsOnly = proxy.HttpsOnly();
            for (const std::string& host : hosts)
                if (!done.contains(host) && !httpsOnly.contains(host))
                    missing.insert(host);
            std::fprintf(stderr, "%s: %s after %d s (not loaded: %s; %zu requests); see %s\n", subject.Name.c_str(),
                         tree.Exited() ? "exited" : shown ? "pages not loaded" : "no window", options.TimeoutSeconds,
                         Join(missing).c_str(), proxy.RequestCount(), log.c_str());
        }
        if (options.Verbose)
            for (const TTestRequest& request : proxy.Requests())
                std::fprintf(stderr, "%s: %s %s\n", subject.Name.c_str(), request.method.c_str(), request.target.c_str());
        // Background requests the switches did not stop (update checks and
        // the like); refused at once, so they cost the subject little.
        const std::vector<std::string> strangers = proxy.Strangers();
        if (!strangers.empty())
            std::fprintf(stderr, "%s: refused %zu requests for other hosts, the first: %s\n", subject.Name.c_str(),
                         strangers.size(), strangers.front().c_str());
        tree.Terminate();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (run && !options.KeepLogs)
        std::filesystem::remove(log, ignored);
    return run;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct TSummary {
    double Shown, Loaded, PssMiB, RssMiB, Processes, Cpu;
};

TSummary Summarise(const std::vector<TRun>& runs)
{
    std::vector<double> shown, loaded, pss, rss, processes, cpu;
    for (const TRun& run : runs) {
        shown.push_back(run.ShownSeconds);
        loaded.push_back(run.LoadedSeconds);
        pss.push_back(double(run.Memory.PssKiB) / 1024);
        rss.push_back(double(run.Memory.RssKiB) / 1024);
        processes.push_back(run.Memory.Processes);
        cpu.push_back(run.CpuSeconds);
    }
    return {Median(shown), Median(loaded), Median(pss), Median(rss), Median(processes), Median(cpu)};
}

TOptions ParseOptions(int argc, char* argv[])
{
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--rounds")
            options.Rounds = std::max(1, std::stoi(value()));
        else if (arg == "--timeout")
            options.TimeoutSeconds = std::stoi(value());
        else if (arg == "--settle-ms")
            options.SettleMs = std::stoi(value());
        else if (arg == "--no-tabs")
            options.Tabs = false;
        else if (arg == "--skin-only")
            options.SkinOnly = true;
        else if (arg == "--keep-logs")
            options.KeepLogs = true;
        else if (arg == "--verbose")
            options.Verbose = true;
        else if (arg == "--program")
            options.Program = value();
        else if (arg == "--unskinned")
            options.Unskinned = value();
        else if (arg == "--chromium")
            options.Chromium = value();
        else
            throw std::runtime_error("usage: bench_startup [--rounds N] [--timeout S] [--settle-ms MS] [--no-tabs] [--skin-only] "
                                     "[--keep-logs] [--verbose] [--program PATH] [--unskinned PATH] [--chromium PATH]");
    }
    return options;
}

}  // namespace

int main(int argc, char* argv[])
try {
    const TOptions options = ParseOptions(argc, argv);
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_startup needs an X display of its own: run bench/startup/run.sh\n");
        return 2;
    }
    if (RunQuietly("xdotool", {"version"}) != 0) {
        std::fprintf(stderr, "bench_startup needs xdotool (SHOPSCOPE_WITH_BENCH=1 scripts/install-deps.sh)\n");
        return 2;
    }
    // The engines' helper processes outlive their parent for a moment when it
    // ends; as subreaper the driver can wait for them before the next run.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);

    const TStoreCatalogue catalogue;
    std::vector<std::string> addresses;
    for (const TStoreEntry& store : catalogue)
        addresses.push_back(store.HomeAddress());

    const auto qtEnv = [](std::uint16_t port) {
        return TEnv{{"QTWEBENGINE_CHROMIUM_FLAGS", ProxySwitch(port) + " " + CommonSwitches},
                    {"QTWEBENGINE_DISABLE_SANDBOX", "1"}};
    };
    const auto noArgs = [](std::uint16_t, const std::string&) { return std::vector<std::string>(); };
    std::vector<TSubject> subjects;
    subjects.push_back({"shopscope", options.Program, noArgs, qtEnv});
    // The same entry and window with a skin manager that never puts a skin
    // in force: what the skin costs the start.
    subjects.push_back({"shopscope unskinned", options.Unskinned, noArgs, qtEnv});
    if (!options.SkinOnly) {
        subjects.push_back({"chromium", options.Chromium,
                            [&addresses](std::uint16_t port, const std::string& folder) {
                                std::vector<std::string> args = {"--no-sandbox", "--disable-sync", "--user-data-dir=" + folder + "/chromium",
                                                                 ProxySwitch(port),
                                                                 // Otherwise it tries HTTPS first for every address.
                                                                 "--disable-features=HttpsUpgrades"};
                                for (std::string_view s = CommonSwitches; !s.empty();) {
                                    const std::size_t blank = s.find(' ');
                                    args.emplace_back(s.substr(0, blank));
                                    s = blank == std::string_view::npos ? std::string_view() : s.substr(blank + 1);
                                }
                                args.insert(args.end(), addresses.begin(), addresses.end());
                                return args;
                            },
                            [](std::uint16_t) { return TEnv(); }});
    }
    if (options.Tabs && !options.SkinOnly)
        subjects.push_back({"qt webengine tabs", options.WebEngineTabs,
                            [&addresses](std::uint16_t, const std::string&) { return addresses; }, qtEnv});

    std::vector<std::vector<TRun>> runs(subjects.size());
    for (int round = 0; round < options.Rounds; ++round) {
        // A different subject starts each round, so none always runs on a
        // machine warmed (or tired) by the one before.
        for (std::size_t k = 0; k < subjects.size(); ++k) {
            const std::size_t i = (k + std::size_t(round)) % subjects.size();
            if (const auto run = RunOnce(subjects[i], catalogue, options)) {
                runs[i].push_back(*run);
                std::fprintf(stderr, "round %d %-18s shown %.2f s, %zu pages loaded %.2f s, PSS %.1f MiB%s%s\n", round + 1,
                             subjects[i].Name.c_str(), run->ShownSeconds, run->PagesLoaded, run->LoadedSeconds,
                             double(run->Memory.PssKiB) / 1024, run->HttpsOnly.empty() ? "" : ", HTTPS only: ",
                             run->HttpsOnly.c_str());
            }
        }
    }
    for (std::size_t i = 0; i < subjects.size(); ++i)
        if (runs[i].empty()) {
            std::fprintf(stderr, "%s never completed a run\n", subjects[i].Name.c_str());
            return 1;
        }

    std::printf("Start-up with nine store home pages through a local proxy, median of %d rounds\n\n", options.Rounds);
    std::printf("%-30s %13s %13s %11s %11s %10s %9s\n", "subject", "window shown", "pages loaded", "PSS total", "RSS total",
                "processes", "CPU");
    std::vector<TSummary> summaries;
    for (std::size_t i = 0; i < subjects.size(); ++i) {
        summaries.push_back(Summarise(runs[i]));
        const TSummary& s = summaries.back();
        std::printf("%-30s %11.2f s %11.2f s %7.1f MiB %7.1f MiB %10.0f %7.2f s\n", subjects[i].Name.c_str(), s.Shown,
                    s.Loaded, s.PssMiB, s.RssMiB, s.Processes, s.Cpu);
    }
    std::printf("\n");
    for (std::size_t i = 1; i < subjects.size(); ++i) {
        const TSummary& p = summaries[0];
        const TSummary& b = summaries[i];
        const std::string label = subjects[0].Name + " / " + subjects[i].Name;
        std::printf("%-30s %12.2fx %12.2fx %10.2fx %10.2fx %10s %8.2fx\n", label.c_str(), p.Shown / b.Shown,
                    p.Loaded / b.Loaded, p.PssMiB / b.PssMiB, p.RssMiB / b.RssMiB, "", p.Cpu / b.Cpu);
    }
    const TSummary& skinned = summaries[0];
    const TSummary& plain = summaries[1];
    std::printf("\nthe skin's share of the start: window shown %+.1f %%, pages loaded %+.1f %%, CPU %+.1f %% "
                "(goal: at most +5 %%)\n",
                (skinned.Shown / plain.Shown - 1) * 100, (skinned.Loaded / plain.Loaded - 1) * 100,
                (skinned.Cpu / plain.Cpu - 1) * 100);
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "bench_startup: %s\n", error.what());
    return 2;
}
