// What the benchmark programs share: a console reporter that keeps each benchmark's best rate for the
// summary a program prints after the usual table, and the run of the registered benchmarks with it.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// Shows the usual table and keeps each benchmark's best bytes per second over its runs (a busy machine
// disturbs the best run least); failed runs and aggregates do not count.
class RateReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) {
                continue;
            }
            if (const auto rate = run.counters.find("bytes_per_second"); rate != run.counters.end()) {
                double& best = m_rates[run.run_name.function_name];
                best = std::max(best, rate->second.value);
            }
        }
    }

    // Bytes per second of the benchmark registered as `name`; nullopt when it did not run or failed.
    std::optional<double> BestRate(const std::string& name) const {
        const auto it = m_rates.find(name);
        return it == m_rates.end() ? std::nullopt : std::optional<double>(it->second);
    }

  private:
    std::map<std::string, double> m_rates;
};

// Runs the registered benchmarks with `reporter`; false after an unknown command-line argument.
inline bool RunBenchmarks(int& argc, char** argv, RateReporter& reporter) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return false;
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return true;
}

}  // namespace bench
