// The notifier's command-file path: from appending a line to its dispatch through the file watcher, the
// event loop, the reader and the field split, against a bare inotify watcher reading and splitting the same
// appends; and 10,000 lines appended at once against one plain read and split.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#include "bench/bench_support.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileSystemWatcher>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "notifier/ipc_protocol.h"

namespace {

class CountingUi : public notifier::NotifierUi {
  public:
    size_t messages = 0;
    void ShowTray() override {}
    void HideTray() override {}
    void SetPopupTexts(std::string_view, std::string_view) override { ++messages; }
    void SetProgressPercent(std::string_view) override {}
    void HidePopupAfter(int) override {}
    void ShowPromptDialog(std::string_view, std::string_view, std::string_view) override {}
    void DismissDialog() override {}
    void ChangeProduct(std::string_view, std::string_view, std::string_view) override {}
    void Restart(std::string_view) override {}
    void Close() override {}
};

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "notifier_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

std::filesystem::path FreshFile() {
    char folder[] = "/tmp/notifier-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr)
        std::abort();
    const auto path = std::filesystem::path(folder) / "commands.txt";
    ::close(::open(path.c_str(), O_WRONLY | O_CREAT, 0644));
    return path;
}

std::string Lines(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += "message|Installing part " + std::to_string(i) + "|Please wait|40\r\n";
    return text;
}

void WriteAll(int fd, const std::string& text) {
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        std::abort();
}

// Appends `perIteration` lines at once and waits until the watcher-driven reader has dispatched them.
void RunPipwellReader(benchmark::State& state, size_t perIteration) {
    App();
    const auto path = FreshFile();
    const int writer = ::open(path.c_str(), O_WRONLY | O_APPEND);
    notifier::IpcReader reader;
    reader.Open(path);
    CountingUi ui;
    QFileSystemWatcher watcher({QString::fromStdString(path.string())});
    QEventLoop loop;
    size_t wanted = 0;
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, [&] {
        reader.CheckFile();
        while (auto line = reader.ReadNextIpcLine())
            notifier::DispatchIpcLine(*line, ui);
        if (ui.messages >= wanted)
            loop.quit();
    });
    const std::string text = Lines(perIteration);
    for (auto _ : state) {
        wanted = ui.messages + perIteration;
        WriteAll(writer, text);
        if (ui.messages < wanted)
            loop.exec();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * perIteration));
    ::close(writer);
    std::filesystem::remove_all(path.parent_path());
}

// The same appends seen through inotify directly: wait, read what was added, split each line.
void RunBareInotify(benchmark::State& state, size_t perIteration) {
    const auto path = FreshFile();
    const int writer = ::open(path.c_str(), O_WRONLY | O_APPEND);
    const int reader = ::open(path.c_str(), O_RDONLY);
    const int notify = ::inotify_init1(IN_CLOEXEC);
    ::inotify_add_watch(notify, path.c_str(), IN_MODIFY);
    const std::string text = Lines(perIteration);
    std::string buffer(text.size() + 4096, '\0');
    size_t splitCount = 0;
    for (auto _ : state) {
        WriteAll(writer, text);
        pollfd p{notify, POLLIN, 0};
        ::poll(&p, 1, -1);
        char events[4096];
        [[maybe_unused]] const ssize_t e = ::read(notify, events, sizeof events);
        size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(reader, buffer.data() + got, buffer.size() - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        std::string_view rest(buffer.data(), got);
        for (size_t end; (end = rest.find("\r\n")) != std::string_view::npos; rest.remove_prefix(end + 2)) {
            benchmark::DoNotOptimize(notifier::SplitFields(rest.substr(0, end)));
            ++splitCount;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(splitCount));
    ::close(notify);
    ::close(reader);
    ::close(writer);
    std::filesystem::remove_all(path.parent_path());
}

void BM_PipwellLineLatency(benchmark::State& state) {
    RunPipwellReader(state, 1);
}
void BM_BareInotifyLineLatency(benchmark::State& state) {
    RunBareInotify(state, 1);
}
void BM_PipwellTenThousandLines(benchmark::State& state) {
    RunPipwellReader(state, 10000);
}
void BM_BareInotifyTenThousandLines(benchmark::State& state) {
    RunBareInotify(state, 10000);
}

BENCHMARK(BM_PipwellLineLatency)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_BareInotifyLineLatency)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_PipwellTenThousandLines)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_BareInotifyTenThousandLines)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

}  // namespace

int main(int argc, char** argv) {
    bench::RateReporter reporter;
    if (!bench::RunBenchmarks(argc, argv, reporter)) {
        return 1;
    }
    const auto latency = reporter.MedianTime("BM_PipwellLineLatency");
    const auto bareLatency = reporter.MedianTime("BM_BareInotifyLineLatency");
    const auto bulk = reporter.MedianTime("BM_PipwellTenThousandLines");
    const auto bareBulk = reporter.MedianTime("BM_BareInotifyTenThousandLines");
    bool all = true;
    if (latency && bareLatency && *bareLatency > 0) {
        bench::ReportMeasure("notifier_line_latency", *latency * 1e6, *bareLatency * 1e6, "us",
                             bench::AtMost(5.0));
    } else {
        bench::ReportNotMeasured("notifier_line_latency", "the reader or the bare watcher did not run");
        all = false;
    }
    if (bulk && bareBulk && *bulk > 0 && *bareBulk > 0) {
        // Lines a second: 10,000 lines per iteration.
        bench::ReportMeasure("notifier_bulk_lines", 1e4 / *bulk / 1e6, 1e4 / *bareBulk / 1e6, "Mlines/s",
                             bench::AtLeast(0.5));
    } else {
        bench::ReportNotMeasured("notifier_bulk_lines", "the reader or the bare watcher did not run");
        all = false;
    }
    return all ? 0 : 1;
}
