// The selector's practice list at 10,000 practices (a tenth billing services): load from disk, fill and
// sort against the bare XML reader on the same bytes, then re-sorts and the Show All toggle.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "practice/prac_file.h"
#include "selector/practice_list_model.h"

namespace {

namespace fs = std::filesystem;

struct Fixture {
    fs::path root;
    std::string bytes;
    Fixture() {
        char pattern[] = "/tmp/selector-bench-XXXXXX";
        root = ::mkdtemp(pattern);
        // Every folder the list search looks at stays inside the temporary root.
        ::setenv("CARROWLINE_ROOT", (root / "root").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        ::setenv("HOME", (root / "home").c_str(), 1);
        practice::CPracFile file;
        for (int i = 0; i < 10000; ++i) {
            practice::CPractice p;
            p.m_Name = "Practice " + std::to_string((i * 7919) % 10000);
            p.m_Host = "host" + std::to_string(i % 97) + ".example";
            p.m_SorelData = "/srv/data/" + std::to_string(i);
            p.m_SorelProgs = "/opt/progs";
            p.m_PortNumber = 8000 + (i * 31) % 1000;
            if (i % 10 == 0) {
                p.m_PracticeType = 2;
                p.m_BillServID = i + 1;
            }
            p.m_Environment.Add({"TERM", "ansi"});
            file.GetPractices().push_back(p);
        }
        file.WriteXml(bytes);
        fs::create_directories(practice::MachinePracticeFolder());
        std::ofstream(practice::MachinePracticeFolder() / "practice.xml", std::ios::binary) << bytes;
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

void BM_LoadFillSort(benchmark::State& state) {
    Data();
    for (auto _ : state) {
        practice::CPracFile file;
        if (!file.Load()) {
            state.SkipWithError("load failed");
            return;
        }
        selector::PracticeListModel model(&file.GetPractices());
        model.Refill();
        benchmark::DoNotOptimize(model.RowCount());
    }
}
BENCHMARK(BM_LoadFillSort)->Unit(benchmark::kMillisecond);

void BM_LoadOnly(benchmark::State& state) {
    Data();
    for (auto _ : state) {
        practice::CPracFile file;
        benchmark::DoNotOptimize(file.Load());
    }
}
BENCHMARK(BM_LoadOnly)->Unit(benchmark::kMillisecond);

void BM_ReadXmlInMemory(benchmark::State& state) {
    const std::string& bytes = Data().bytes;
    for (auto _ : state) {
        practice::CPracFile file;
        benchmark::DoNotOptimize(file.ReadXml(bytes));
    }
}
BENCHMARK(BM_ReadXmlInMemory)->Unit(benchmark::kMillisecond);

void Resort(benchmark::State& state, int column) {
    practice::CPracFile file;
    file.ReadXml(Data().bytes);
    selector::PracticeListModel model(&file.GetPractices());
    model.Refill();
    for (auto _ : state) {
        model.ClickColumn(column);
        benchmark::DoNotOptimize(model.PracticeIndex(0));
    }
}
void BM_ResortNumber(benchmark::State& state) {
    Resort(state, 4);
}
void BM_ResortText(benchmark::State& state) {
    Resort(state, 3);
}
BENCHMARK(BM_ResortNumber)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResortText)->Unit(benchmark::kMillisecond);

void BM_ShowAllToggle(benchmark::State& state) {
    practice::CPracFile file;
    file.ReadXml(Data().bytes);
    selector::PracticeListModel model(&file.GetPractices());
    model.Refill();
    for (auto _ : state) {
        model.SetShowAll(!model.ShowAll());
        benchmark::DoNotOptimize(model.RowCount());
    }
}
BENCHMARK(BM_ShowAllToggle)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    bench::RateReporter reporter;
    if (!bench::RunBenchmarks(argc, argv, reporter)) {
        return 1;
    }
    const auto bare = reporter.MedianTime("BM_ReadXmlInMemory");
    struct Measure {
        const char* name;
        const char* benchmark;
        double goal;
    };
    bool all = true;
    for (const Measure& m : {Measure{"selector_load_fill_sort", "BM_LoadFillSort", 2.0},
                             Measure{"selector_resort_number", "BM_ResortNumber", 0.5},
                             Measure{"selector_resort_text", "BM_ResortText", 0.5},
                             Measure{"selector_show_all", "BM_ShowAllToggle", 0.5}}) {
        const auto ours = reporter.MedianTime(m.benchmark);
        if (!ours || !bare || *bare <= 0) {
            bench::ReportNotMeasured(m.name, "the benchmark or the bare reader did not run");
            all = false;
            continue;
        }
        bench::ReportMeasure(m.name, *ours * 1e3, *bare * 1e3, "ms", bench::AtMost(m.goal));
    }
    return all ? 0 : 1;
}
