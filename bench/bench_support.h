// What the benchmark programs share: a console reporter that keeps each benchmark's best rate for the
// summary a program prints after the usual table, the run of the registered benchmarks with it, and the
// one-line figures that scripts/bench.sh collects over several runs.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

inline double Percentile(std::vector<double> samples, double fraction);

// Shows the usual table and keeps each benchmark's bytes per second and times over its runs (a busy
// machine disturbs the best run least); failed runs and aggregates do not count.
class RateReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const double seconds =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                m_medianTimes[name] = seconds;  // all there is of a benchmark that reports aggregates only
            }
            if (run.run_type != Run::RT_Iteration) {
                continue;
            }
            m_allTimes[name].push_back(seconds);
            if (const auto rate = run.counters.find("bytes_per_second"); rate != run.counters.end()) {
                m_rates[name].push_back(rate->second.value);
            }
        }
    }

    // Bytes per second of the benchmark registered as `name`; nullopt when it did not run or failed.
    std::optional<double> BestRate(const std::string& name) const {
        const auto it = m_rates.find(name);
        return it == m_rates.end() || it->second.empty()
                   ? std::nullopt
                   : std::optional<double>(*std::max_element(it->second.begin(), it->second.end()));
    }

    // The median time of one iteration over the benchmark's runs (or its median aggregate), in seconds;
    // nullopt when it did not run or failed.
    std::optional<double> MedianTime(const std::string& name) const {
        if (const auto it = m_allTimes.find(name); it != m_allTimes.end() && !it->second.empty()) {
            return Percentile(it->second, 0.5);
        }
        const auto it = m_medianTimes.find(name);
        return it == m_medianTimes.end() ? std::nullopt : std::optional<double>(it->second);
    }

    // The median of those rates: for a baseline whose best run is an outlier of the machine's scheduling.
    std::optional<double> MedianRate(const std::string& name) const;

  private:
    std::map<std::string, std::vector<double>> m_rates;
    std::map<std::string, std::vector<double>> m_allTimes;
    std::map<std::string, double> m_medianTimes;
};

inline std::optional<double> RateReporter::MedianRate(const std::string& name) const {
    const auto it = m_rates.find(name);
    return it == m_rates.end() || it->second.empty() ? std::nullopt
                                                     : std::optional<double>(Percentile(it->second, 0.5));
}

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

// A goal on a ratio: at least (a rate against its baseline's) or at most (a time against its baseline's).
struct Goal {
    enum class Op { AtLeast, AtMost };
    Op op;
    double target;
};
inline Goal AtLeast(double target) {
    return {Goal::Op::AtLeast, target};
}
inline Goal AtMost(double target) {
    return {Goal::Op::AtMost, target};
}

// The machine-read line of one measure, for scripts/bench.sh:
//   MEASURE <name> ours=<figure> baseline=<figure> unit=<unit> ratio=<ours/baseline> goal=<op><target>
// `name` has no spaces; the ratio is ours over the baseline, a rate or a time as the unit says.
inline void ReportMeasure(const char* name, double ours, double baseline, const char* unit, Goal goal) {
    const double ratio = baseline > 0 ? ours / baseline : 0;
    std::printf("MEASURE %s ours=%.6g baseline=%.6g unit=%s ratio=%.4f goal=%s%g\n", name, ours, baseline,
                unit, ratio, goal.op == Goal::Op::AtLeast ? ">=" : "<=", goal.target);
    std::fflush(stdout);
}

// A measure whose work could not be done or checked in this run; `why` is one line.
inline void ReportNotMeasured(const char* name, const char* why) {
    std::printf("MEASURE %s not measured: %s\n", name, why);
    std::fflush(stdout);
}

// The sample at `fraction` (0.5 for the median) of the sorted samples; 0 when there are none.
inline double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) {
        return 0;
    }
    std::sort(samples.begin(), samples.end());
    const size_t at = std::min(samples.size() - 1, static_cast<size_t>(fraction * samples.size()));
    return samples[at];
}

// The host streams of the feed benchmarks, 1 MiB each: 79-column lines that scroll (0), or cursor moves,
// colour changes and short texts within columns 1-75 (1).
inline constexpr size_t kStreamBytes = size_t{1} << 20;

inline std::string PlainStream() {
    std::string stream;
    unsigned line = 0;
    while (stream.size() < kStreamBytes) {
        std::string text = "Line " + std::to_string(line++) + ": ";
        while (text.size() < 79) {
            text += static_cast<char>('A' + (text.size() * 7 + line) % 58);
        }
        stream += text + "\r\n";
    }
    return stream;
}

inline std::string DenseStream() {
    static const char* const kWords[] = {"Name", "Total", "0.00", "Y/N", "Acct", "12/31", "OK", "Due"};
    static const int kColours[] = {0, 1, 7, 31, 32, 33, 34, 36, 37, 41, 44, 47};
    std::string stream;
    unsigned step = 0;
    while (stream.size() < kStreamBytes) {
        const unsigned row = step * 7 % 25 + 1;
        const unsigned column = step * 13 % 70 + 1;
        stream += "\x1B[" + std::to_string(row) + ";" + std::to_string(column) + "H";
        stream += "\x1B[" + std::to_string(kColours[step % std::size(kColours)]) + "m";
        stream += kWords[step % std::size(kWords)];
        ++step;
    }
    return stream;
}

inline const std::string& Stream(int which) {
    static const std::string plain = PlainStream();
    static const std::string dense = DenseStream();
    return which == 0 ? plain : dense;
}

// The stream's last text: its last line without CR LF, or the word after its last escape sequence.
inline std::string LastText(int which) {
    const std::string& stream = Stream(which);
    if (which == 0) {
        const size_t end = stream.rfind("\r\n");
        const size_t begin = stream.rfind("\r\n", end - 1) + 2;
        return stream.substr(begin, end - begin);
    }
    return stream.substr(stream.rfind('m') + 1);
}

}  // namespace bench
