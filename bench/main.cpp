// Runs every benchmark once and prints each figure against its baseline from
// the same run, so the ratios hold whatever the machine.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

namespace {
constexpr int kScanCandidates = 40;

struct Figure {
    double ns = 0;        // CPU time per iteration: steadier than real time on a shared machine
    double realNs = 0;    // real time per iteration
    bool median = false;  // from the median of repetitions
    benchmark::UserCounters counters;
    std::string label;
};

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    explicit RatioReporter(bool color) : ConsoleReporter(color ? OO_Defaults : OO_Tabular) {}
    std::map<std::string, Figure> figures;
    bool failed = false;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred) {
                failed = true;
                continue;
            }
            bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Aggregate && !median) continue;
            Figure& f = figures[r.run_name.function_name];
            if (f.median && !median) continue;
            double toNs = 1e9 / benchmark::GetTimeUnitMultiplier(r.time_unit);
            f.ns = r.GetAdjustedCPUTime() * toNs;
            f.realNs = r.GetAdjustedRealTime() * toNs;
            f.median = median;
            f.counters = r.counters;
            f.label = r.report_label;
        }
    }
};

const Figure* Find(const RatioReporter& r, const char* name) {
    auto it = r.figures.find(name);
    return it == r.figures.end() ? nullptr : &it->second;
}

double Counter(const Figure& f, const char* name) {
    auto it = f.counters.find(name);
    return it == f.counters.end() ? -1 : double(it->second);
}

// Prints "what: a / b = ratio (real-time ratio)" and, with a goal, whether it is met.
void PrintRatio(const char* what, double a, double b, double realA, double realB, double goal) {
    double ratio = a / b;
    std::printf("  %-40s %9.1f us / %9.1f us = %5.2fx (real %5.2fx)", what, a / 1000, b / 1000,
                ratio, realA / realB);
    if (goal > 0) std::printf("  goal <= %.2fx: %s", goal, ratio <= goal ? "met" : "MISSED");
    std::printf("\n");
}
}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    RatioReporter reporter(isatty(1) != 0);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nRatios (same run, CPU time per iteration; real-time ratio in brackets):\n");
    const Figure* build = Find(reporter, "BM_BuildFlasher");
    const Figure* copy = Find(reporter, "BM_CopyTemplate");
    if (build && copy) {
        std::printf("  template: %s\n", build->label.c_str());
        PrintRatio("build flasher / buffered copy", build->ns, copy->ns, build->realNs,
                   copy->realNs, 1.5);
    }

    const Figure* flash = Find(reporter, "BM_FlashWhole");
    const Figure* drive = Find(reporter, "BM_FlashDriveSide");
    const Figure* chunks = Find(reporter, "BM_FlashBaseline");
    bool commandsOk = true;
    if (flash && chunks) {
        PrintRatio("whole flash / memcpy+memcmp per chunk", flash->ns, chunks->ns, flash->realNs,
                   chunks->realNs, 0);
        if (drive)
            PrintRatio("host side (whole - drive) / same", flash->ns - drive->ns, chunks->ns,
                       flash->realNs - drive->realNs, chunks->realNs, 0);
        double commands = Counter(*flash, "commands");
        commandsOk = commands == 38;
        std::printf("  command blocks per flash: %.0f (37 + refresh INQUIRY = 38: %s)\n", commands,
                    commandsOk ? "minimum" : "NOT the minimum");
    }

    const Figure* scan = Find(reporter, "BM_AspiScanEmpty");
    const Figure* bare = Find(reporter, "BM_AspiScanBaseline");
    if (scan && bare) {
        PrintRatio("ASPI scan, no drive / 40 bare requests", scan->ns, bare->ns, scan->realNs,
                   bare->realNs, 0);
        std::printf(
            "  per candidate: %.2f us; requests per scan: %.0f; layer loads per scan: %.0f;"
            " held after one scan: %.0f; virtual wait per scan: %.0f ms\n",
            scan->ns / 1000 / kScanCandidates, Counter(*scan, "requests"), Counter(*scan, "loads"),
            Counter(*scan, "held"), Counter(*scan, "virtual_ms"));
    }
    return reporter.failed || !commandsOk ? 1 : 0;
}
