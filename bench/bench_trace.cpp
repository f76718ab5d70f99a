// What a switched-off trace point costs: with the threshold at 0, CV_TRACE and CV_LOG
// must only compare the threshold and build no text.
#include "CVLog.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Trace points per iteration in the inline benchmarks, so the loop of the harness is
// spread over many of them.
constexpr int kBatch = 64;

__attribute__((noinline)) void EmptyFunction(int x) {
    benchmark::DoNotOptimize(x);
}

// Three threshold tests: the trace's entry and exit, and the log line.
__attribute__((noinline)) void TracedFunction(int x) {
    CV_TRACE("X::Y");
    CV_LOG(30, std::string("msg") + std::to_string(x));
    benchmark::DoNotOptimize(x);
}

void BM_EmptyFunction(benchmark::State& state) {
    int x = 0;
    for (auto _ : state)
        EmptyFunction(++x);
}
BENCHMARK(BM_EmptyFunction);

void BM_TracedFunction(benchmark::State& state) {
    int x = 0;
    for (auto _ : state)
        TracedFunction(++x);
}
BENCHMARK(BM_TracedFunction);

void SetPerPointCounter(benchmark::State& state) {
    state.counters["s_per_point"] = benchmark::Counter(kBatch, benchmark::Counter::kIsIterationInvariantRate |
                                                                   benchmark::Counter::kInvert);
}

// The loop alone: the memory clobber forces the threshold to be read again at every
// point below, as it would be in scattered code.
void BM_InlineBaseline(benchmark::State& state) {
    for (auto _ : state)
        for (int i = 0; i < kBatch; ++i)
            benchmark::ClobberMemory();
    SetPerPointCounter(state);
}
BENCHMARK(BM_InlineBaseline);

void BM_InlineLogPoint(benchmark::State& state) {
    int x = 0;
    for (auto _ : state)
        for (int i = 0; i < kBatch; ++i) {
            CV_LOG(30, std::string("msg") + std::to_string(++x));
            benchmark::ClobberMemory();
        }
    SetPerPointCounter(state);
}
BENCHMARK(BM_InlineLogPoint);

// A trace scope is two points (entry and exit).
void BM_InlineTraceScope(benchmark::State& state) {
    for (auto _ : state)
        for (int i = 0; i < kBatch; ++i) {
            CV_TRACE("X::Y");
            benchmark::ClobberMemory();
        }
    SetPerPointCounter(state);
}
BENCHMARK(BM_InlineTraceScope);

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, as the library's own console output does.
    SummaryReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    // CPU time: on a shared machine it is what the code itself costs. With repetitions
    // the median aggregate is taken.
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations <= 0) continue;
            if (r.run_type != Run::RT_Iteration && r.aggregate_name != "median") continue;
            fNanos[r.run_name.function_name] =
                1e9 * r.cpu_accumulated_time / static_cast<double>(r.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintSummary() const {
        auto at = [&](const char* n) {
            auto it = fNanos.find(n);
            return it == fNanos.end() ? -1.0 : it->second;
        };
        const double empty = at("BM_EmptyFunction"), traced = at("BM_TracedFunction");
        const double base = at("BM_InlineBaseline") / kBatch, log = at("BM_InlineLogPoint") / kBatch;
        const double scope = at("BM_InlineTraceScope") / kBatch;
        if (empty < 0 || traced < 0 || base < 0 || log < 0 || scope < 0) return;
        std::printf("CV_LOG point:        %.3f ns (%.3f ns over the bare loop)\n", log, log - base);
        std::printf(
            "CV_TRACE scope:      %.3f ns for its two points, %.3f ns each (%.3f ns over the bare loop)\n",
            scope, scope / 2, scope - base);
        std::printf("traced function:     %.3f ns per call against %.3f ns empty: %.3f ns for three points, "
                    "%.3f ns each\n",
                    traced, empty, traced - empty, (traced - empty) / 3);
        std::printf("goal: under 1 ns per trace point\n");
    }

private:
    std::map<std::string, double> fNanos;
};

} // namespace

int main(int argc, char** argv) {
    CVLog::LogThreshold = 0;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
