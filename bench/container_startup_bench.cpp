// What the container adds to starting a local session: `brantor -l` in a folder tree of its own, up to
// the end of a session whose host sends its first screen (title, cleared screen, greeting) and ends,
// against the stand-in host alone playing the same session, set in proportion to a bare Qt Widgets
// program that shows one window and ends after its first paint, all in one run. The brantor figure is an
// upper bound of the start-up cost: it also holds the screen's processing, the window's end and the
// program's exit.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "container/tests/e2e_session.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kScript =
    "send \\e[2J\\e[H\\e[%Start-up bench\\x01O\n"
    "send Carrowline stand-in host program\\r\\nReady\\r\\n\n"
    "exit 0\n";
// A run that takes longer than this is broken, not slow.
constexpr int kSafetyNetMs = 30000;

container::e2e::SessionTree* g_tree = nullptr;
std::vector<double> g_brantorMs;
std::vector<double> g_standinFirstByteMs;
std::vector<double> g_standinSessionMs;
std::vector<double> g_bareMs;
std::vector<double> g_bareWithLibraryMs;

uintmax_t RecordSize() {
    std::error_code ignored;
    const uintmax_t size = std::filesystem::file_size(g_tree->Record(), ignored);
    return size == static_cast<uintmax_t>(-1) ? 0 : size;
}

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Ends a child that overstayed the safety net; false then.
bool WaitWithin(pid_t pid, int* code) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kSafetyNetMs);
    for (;;) {
        if (const auto status = platform::PollExit(pid)) {
            *code = *status;
            return true;
        }
        if (Clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            platform::WaitForExit(pid);
            return false;
        }
        ::usleep(1000);
    }
}

// Spawn to the exit with 0 of `argv` in the tree, each time into `samples`; `ran` checks the work.
void SpawnToExit(
    benchmark::State& state, const std::vector<std::string>& argv, const char* failure,
    std::vector<double>& samples, const std::function<bool()>& ran = [] { return true; }) {
    for (auto _ : state) {
        std::string message;
        const auto start = Clock::now();
        const auto child = g_tree->Start(argv, &message);
        if (!child) {
            state.SkipWithError(message.c_str());
            return;
        }
        int code = -1;
        const bool ended = WaitWithin(child->pid, &code) && code == 0;
        const double ms = Milliseconds(Clock::now() - start);
        if (!ended || !ran()) {
            state.SkipWithError(failure);
            return;
        }
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
}

// Spawn to the program's exit: process start, Qt, the control's library and registry, the host's start,
// its screen on the terminal, SorelExit and the window's close.
void BrantorSession(benchmark::State& state) {
    uintmax_t recorded = RecordSize();
    SpawnToExit(state, {CARROWLINE_BRANTOR, "-l", "-#7", "demo"},
                "brantor did not end with 0, or its host program did not run", g_brantorMs, [&] {
                    const uintmax_t now = RecordSize();
                    return std::exchange(recorded, now) < now;
                });
}

// The stand-in alone, its output read through a pipe: spawn to its first byte, and to the end of it.
void StandinSession(benchmark::State& state) {
    for (auto _ : state) {
        std::string message;
        const auto start = Clock::now();
        const auto child = g_tree->Start({CARROWLINE_STANDIN_SOREL}, &message, true);
        if (!child) {
            state.SkipWithError(message.c_str());
            return;
        }
        bool first = true;
        char buffer[1024];
        for (;;) {
            pollfd ready{child->stdoutRead.Get(), POLLIN, 0};
            if (::poll(&ready, 1, kSafetyNetMs) <= 0) {
                break;
            }
            const ssize_t n = ::read(child->stdoutRead.Get(), buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            if (first) {
                g_standinFirstByteMs.push_back(Milliseconds(Clock::now() - start));
                first = false;
            }
        }
        int code = -1;
        if (!WaitWithin(child->pid, &code) || code != 0) {
            state.SkipWithError("the stand-in did not end with 0");
            return;
        }
        const double ms = Milliseconds(Clock::now() - start);
        g_standinSessionMs.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
}

// A bare Qt Widgets program from spawn to its exit after its window's first paint.
void BareQtWindow(benchmark::State& state) {
    SpawnToExit(state, {CARROWLINE_BARE_QT_WINDOW}, "the bare program did not paint and end with 0",
                g_bareMs);
}

// The same, loading the control's library (and what it links) before the window: a reference for the
// part of brantor's figure that is the library's loading.
void BareQtWindowWithControlLibrary(benchmark::State& state) {
    SpawnToExit(state, {CARROWLINE_BARE_QT_WINDOW, CARROWLINE_QUILLET_LIBRARY},
                "the bare program did not load the library, paint and end with 0", g_bareWithLibraryMs);
}

}  // namespace

int main(int argc, char** argv) {
    container::e2e::SessionTree tree;
    std::string why;
    if (!tree.Prepare(&why) || !tree.WriteScript(kScript)) {
        std::fprintf(stderr, "container_startup_bench: cannot prepare the session folder: %s\n", why.c_str());
        return 1;
    }
    g_tree = &tree;
    benchmark::RegisterBenchmark("Startup/StandinAlone", StandinSession)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(20);
    benchmark::RegisterBenchmark("Startup/Brantor", BrantorSession)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(20);
    benchmark::RegisterBenchmark("Startup/BareQtWindow", BareQtWindow)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(20);
    benchmark::RegisterBenchmark("Startup/BareQtWindowWithControlLibrary", BareQtWindowWithControlLibrary)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(20);
    bench::RateReporter reporter;
    if (!bench::RunBenchmarks(argc, argv, reporter)) {
        return 1;
    }
    if (g_brantorMs.empty() || g_standinSessionMs.empty() || g_bareMs.empty()) {
        bench::ReportNotMeasured("container_start", "brantor, the stand-in or the bare program did not run");
        return 1;
    }
    const double brantor = bench::Percentile(g_brantorMs, 0.5);
    const double standin = bench::Percentile(g_standinSessionMs, 0.5);
    const double bare = bench::Percentile(g_bareMs, 0.5);
    std::printf("\nMedian of %zu runs each:\n", g_brantorMs.size());
    std::printf("  stand-in alone, spawn to first byte     %8.1f ms\n",
                bench::Percentile(g_standinFirstByteMs, 0.5));
    std::printf("  stand-in alone, whole session           %8.1f ms\n", standin);
    std::printf("  brantor -l, spawn to exit after screen  %8.1f ms\n", brantor);
    std::printf("  bare Qt window, spawn to first paint    %8.1f ms\n", bare);
    if (!g_bareWithLibraryMs.empty()) {
        std::printf("  the same, loading the control library   %8.1f ms  (reference)\n",
                    bench::Percentile(g_bareWithLibraryMs, 0.5));
    }
    std::printf("  container adds %.1f ms\n", brantor - standin);
    bench::ReportMeasure("container_start", brantor - standin, bare, "ms", bench::AtMost(1.5));
    return 0;
}
