// A console reporter that also keeps each benchmark's wall and CPU time per iteration, so a
// program can print ratios of the medians at the end (of the repetitions' medians when the
// run reports only aggregates).
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

class MedianReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, as the library's own console output does.
    MedianReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations <= 0) continue;
            // With repetitions only the aggregates may be reported; their accumulated
            // times over the iterations of one repetition are the median's.
            const bool single = r.run_type == Run::RT_Iteration;
            if (!single && r.aggregate_name != "median") continue;
            const auto n = static_cast<double>(r.iterations);
            Times& wall = single ? fWall : fWallMedian;
            Times& cpu = single ? fCpu : fCpuMedian;
            wall[r.run_name.function_name].push_back(r.real_accumulated_time / n);
            cpu[r.run_name.function_name].push_back(r.cpu_accumulated_time / n);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Median seconds per iteration of the benchmark of that function name; 0 when it did not run.
    double Wall(const std::string& name) const {
        return fWall.count(name) ? Median(fWall, name) : Median(fWallMedian, name);
    }
    double Cpu(const std::string& name) const {
        return fCpu.count(name) ? Median(fCpu, name) : Median(fCpuMedian, name);
    }

private:
    using Times = std::map<std::string, std::vector<double>>;
    static double Median(const Times& times, const std::string& name) {
        auto it = times.find(name);
        if (it == times.end() || it->second.empty()) return 0;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }

    Times fWall, fCpu, fWallMedian, fCpuMedian;
};
