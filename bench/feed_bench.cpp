// Feed throughput of the terminal screen model (drawing to a painter that does nothing) against libvterm with
// its screen layer (reporting damage and cursor moves to callbacks that do nothing), on the same two host
// streams fed in 1024-byte reads: plain 79-column lines with CR LF that scroll the screen, and an
// escape-dense stream that repaints the screen with cursor moves, colour changes and short texts. Prints
// MB/s for each and the model's speed as a multiple of libvterm's.
#include <benchmark/benchmark.h>
#include <vterm.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>

#include "bench/bench_support.h"
#include "terminal/core/screen.h"

namespace {

constexpr size_t kRead = 1024;

void ModelFeed(benchmark::State& state, int which) {
    const std::string& stream = bench::Stream(which);
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
    terminal::NullPainter painter;  // every drawing call is made, and does nothing
    terminal::CTerminalScreen screen;
    screen.SetPainter(&painter);
    screen.SetCellSize(8, 16);
    for (auto _ : state) {
        for (size_t at = 0; at < bytes.size(); at += kRead) {
            screen.Feed(bytes.subspan(at, std::min(kRead, bytes.size() - at)));
        }
        benchmark::DoNotOptimize(screen.GetCursor());
    }
    // The stream's last text must be on the screen, or nothing was measured.
    if (screen.CopyCells(0, 80 * 25).find(bench::LastText(which)) == std::string::npos) {
        state.SkipWithError("the stream's last text is not on the screen");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}

// What a window on libvterm's screen is told, as the model's painter is: the changed cells, the cursor's
// moves and the bell, with the default damage reporting. Counted, so that the run shows they came.
struct VtermReports {
    int64_t damage = 0;
    int64_t cursorMoves = 0;
};

const VTermScreenCallbacks kVtermCallbacks = {
    .damage =
        [](VTermRect, void* user) {
            ++static_cast<VtermReports*>(user)->damage;
            return 1;
        },
    .moverect = nullptr,
    .movecursor =
        [](VTermPos, VTermPos, int, void* user) {
            ++static_cast<VtermReports*>(user)->cursorMoves;
            return 1;
        },
    .settermprop = [](VTermProp, VTermValue*, void*) { return 1; },
    .bell = [](void*) { return 1; },
    .resize = nullptr,
    .sb_pushline = nullptr,
    .sb_popline = nullptr,
};

void VtermFeed(benchmark::State& state, int which) {
    const std::string& stream = bench::Stream(which);
    VTerm* vt = vterm_new(25, 80);
    vterm_set_utf8(vt, 0);
    VTermScreen* screen = vterm_obtain_screen(vt);
    VtermReports reports;
    vterm_screen_set_callbacks(screen, &kVtermCallbacks, &reports);
    vterm_screen_reset(screen, 1);
    for (auto _ : state) {
        for (size_t at = 0; at < stream.size(); at += kRead) {
            vterm_input_write(vt, stream.data() + at, std::min(kRead, stream.size() - at));
        }
        VTermPos pos;
        vterm_state_get_cursorpos(vterm_obtain_state(vt), &pos);
        benchmark::DoNotOptimize(pos);
    }
    std::string cells;
    for (int row = 0; row < 25; ++row) {
        for (int column = 0; column < 80; ++column) {
            VTermScreenCell cell;
            vterm_screen_get_cell(screen, {row, column}, &cell);
            cells += cell.chars[0] > 0 && cell.chars[0] < 0x80 ? static_cast<char>(cell.chars[0]) : ' ';
        }
    }
    if (cells.find(bench::LastText(which)) == std::string::npos) {
        state.SkipWithError("the stream's last text is not on libvterm's screen");
    } else if (reports.damage == 0 || reports.cursorMoves == 0) {
        state.SkipWithError("libvterm reported no damage or no cursor move");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    vterm_free(vt);
}

}  // namespace

int main(int argc, char** argv) {
    // Several runs each; the summary takes each one's best, which a busy machine disturbs least.
    for (auto* b : {benchmark::RegisterBenchmark("Plain/Model", ModelFeed, 0),
                    benchmark::RegisterBenchmark("Plain/Libvterm", VtermFeed, 0),
                    benchmark::RegisterBenchmark("EscapeDense/Model", ModelFeed, 1),
                    benchmark::RegisterBenchmark("EscapeDense/Libvterm", VtermFeed, 1)}) {
        b->Repetitions(7);
    }
    bench::RateReporter reporter;
    if (!bench::RunBenchmarks(argc, argv, reporter)) {
        return 1;
    }

    std::printf("\nBest of each benchmark's runs:\n%-12s %14s %14s %8s\n", "stream", "model MB/s",
                "libvterm MB/s", "ratio");
    struct Kind {
        const char* stream;
        const char* measure;
        double goal;
    };
    bool all = true;
    for (const Kind& kind : {Kind{"Plain", "feed_plain_vs_libvterm", 30.0},
                             Kind{"EscapeDense", "feed_dense_vs_libvterm", 5.0}}) {
        const auto model = reporter.BestRate(std::string(kind.stream) + "/Model");
        const auto peer = reporter.BestRate(std::string(kind.stream) + "/Libvterm");
        if (!model || !peer || *peer <= 0) {
            bench::ReportNotMeasured(kind.measure, "a feed failed or did not change the screen");
            all = false;
            continue;
        }
        std::printf("%-12s %14.1f %14.1f %7.1fx\n", kind.stream, *model / 1e6, *peer / 1e6, *model / *peer);
        bench::ReportMeasure(kind.measure, *model / 1e6, *peer / 1e6, "MB/s", bench::AtLeast(kind.goal));
    }
    return all ? 0 : 1;
}
