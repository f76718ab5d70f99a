// What evaluating a template costs as its tags and the package's fields grow. Each tag is
// checked against the package's tag list and then replaced by its field's value, both by a
// linear search, so a run is expected to cost about tags x fields.
#include "logic/BRNPackageUtils.h"
#include "model/BRNPackage.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// Field k holds a number, a date or a word, by k % 3.
BRNPackage MakePackage(int fields) {
    BRNFieldList list;
    list.reserve(static_cast<size_t>(fields));
    for (int k = 0; k < fields; ++k) {
        const std::string number = std::to_string(k);
        BRNField f(PMString(std::string("Field ").append(number)));
        f.SetShortName(PMString(std::string("F").append(number)));
        f.SetDescription(PMString(std::string("Description of field ").append(number)));
        char value[32];
        switch (k % 3) {
        case 0:
            f.SetType(kBRNTypeInteger);
            std::snprintf(value, sizeof value, "%d", 17 * k + 3);
            break;
        case 1:
            f.SetType(kBRNTypeDate);
            std::snprintf(value, sizeof value, "%04d/%02d/%02d", 2000 + k % 25, 1 + k % 12, 1 + k % 28);
            break;
        default:
            f.SetType(kBRNTypeString);
            std::snprintf(value, sizeof value, "word%d", k);
            break;
        }
        f.SetValue(PMString(value));
        list.push_back(std::move(f));
    }
    BRNPackage package(list, PMString("Bench"), PMString(), 0);
    package.SetEnabled(kTrue);
    return package;
}

// Tag i names field i * fields / tags, so the names are spread evenly over the list: a
// number gets format="%05d", a date substring="0,4", a word nothing. Literal text sits
// between the tags, which end in ">" as the tag list offers them, or in "/>".
PMString MakeTemplate(int tags, int fields, bool slashClosed) {
    std::string t = "Header text before the tags. ";
    for (int i = 0; i < tags; ++i) {
        const int k = static_cast<int>(static_cast<long long>(i) * fields / tags);
        t += "<cvbrindle:F" + std::to_string(k);
        if (k % 3 == 0) t += " format=\"%05d\"";
        if (k % 3 == 1) t += " substring=\"0,4\"";
        t += slashClosed ? "/> and some literal text " : "> and some literal text ";
    }
    t += "<cvbrindle:package> version <cvbrindle:version>.";
    return PMString(t);
}

void BM_EvaluateTags(benchmark::State& state) {
    const int tags = static_cast<int>(state.range(0));
    const int fields = static_cast<int>(state.range(1));
    const BRNPackage package = MakePackage(fields);
    const bool slashClosed = state.range(2) != 0;
    const PMString templateText = MakeTemplate(tags, fields, slashClosed);

    // Outside the loop: a template that fails the check would measure the first fault only.
    bool16 ok = kFalse;
    PMString result = BRNPackageUtils::EvaluateTags(package, templateText, &ok, kFalse, kFalse);
    if (!ok || result.Units().find(u"<cvbrindle:") != std::u16string::npos) {
        std::fprintf(stderr, "template of %d tags over %d fields does not evaluate\n", tags, fields);
        std::abort();
    }

    for (auto _ : state) {
        PMString out = BRNPackageUtils::EvaluateTags(package, templateText, &ok, kFalse, kFalse);
        benchmark::DoNotOptimize(out);
    }
    // The two tags closing the template are counted with the others.
    const double counted = tags + 2;
    // A rate of units per second inverted is seconds per unit; units of 1e-9 make it ns.
    const auto inverted = benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert;
    state.counters["tags"] = tags;
    state.counters["fields"] = fields;
    state.counters["slash"] = slashClosed ? 1 : 0;
    state.counters["ns_per_tag"] = benchmark::Counter(counted * 1e-9, inverted);
    state.counters["ns_per_tag_x_field"] = benchmark::Counter(counted * fields * 1e-9, inverted);
}
// Both grown together (tags x fields four times per step), then each alone at the largest
// size, then tags alone over few fields, which shows what the template's length costs. The
// same sizes with "/>" closing every tag keep each tag's scan inside the tag.
void Sizes(benchmark::internal::Benchmark* b) {
    for (int slash : {0, 1})
        for (auto [tags, fields] : {std::pair{50, 250},
                                    {100, 500},
                                    {200, 1000},
                                    {200, 100},
                                    {20, 1000},
                                    {200, 20},
                                    {400, 20},
                                    {800, 20}})
            b->Args({tags, fields, slash});
}
BENCHMARK(BM_EvaluateTags)
    ->ArgNames({"tags", "fields", "slash"})
    ->Apply(Sizes)
    ->Unit(benchmark::kMicrosecond);

// Prints each size's CPU time, the least over repetitions so that other load on the machine
// counts little, and its growth against the first size of the same closing beside the growth
// of tags x fields.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred || r.iterations == 0) continue;
            auto tags = r.counters.find("tags"), fields = r.counters.find("fields");
            auto slash = r.counters.find("slash");
            if (tags == r.counters.end() || fields == r.counters.end() || slash == r.counters.end()) continue;
            Row row;
            row.tags = static_cast<int>(tags->second.value);
            row.fields = static_cast<int>(fields->second.value);
            row.slash = slash->second.value != 0;
            row.us = 1e6 * r.cpu_accumulated_time / static_cast<double>(r.iterations);
            // With repetitions the fastest run stands for the size: load only adds time.
            auto same = std::find_if(fRows.begin(), fRows.end(), [&](const Row& o) {
                return o.tags == row.tags && o.fields == row.fields && o.slash == row.slash;
            });
            if (same == fRows.end())
                fRows.push_back(row);
            else
                same->us = std::min(same->us, row.us);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintSummary() const {
        if (fRows.empty()) return;
        std::printf("\n%6s %7s %6s %10s %9s %15s %12s %11s\n", "tags", "fields", "close", "cpu (us)",
                    "us/tag", "ns/(tag*field)", "time growth", "TxN growth");
        const Row* base = nullptr;
        for (const Row& r : fRows) {
            if (!base || base->slash != r.slash) base = &r;
            const double product = static_cast<double>(r.tags + 2) * r.fields;
            const double baseProduct = static_cast<double>(base->tags + 2) * base->fields;
            std::printf("%6d %7d %6s %10.1f %9.3f %15.3f %11.2fx %10.2fx\n", r.tags, r.fields,
                        r.slash ? "/>" : ">", r.us, r.us / (r.tags + 2), 1e3 * r.us / product,
                        r.us / base->us, product / baseProduct);
        }
    }

private:
    struct Row {
        int tags = 0;
        int fields = 0;
        bool slash = false;
        double us = 0;
    };
    std::vector<Row> fRows;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
