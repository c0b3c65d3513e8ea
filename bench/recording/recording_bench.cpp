// SPDX-License-Identifier: MIT
// A recorder's cost per line: choosing the record (parse, frame, the line
// written again and compared) and its bytes, against parsing the line alone,
// measured in the same run; and the bytes a line takes in the file against
// the line itself. The ratios are printed at the end.
#include "frame.h"
#include "line_record.h"
#include "recording_format.h"
#include "spectrum_line.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace
{

struct LineKind {
    const char *name;
    size_t bins;
    int noise_dbm;
    bool magnitudes; // ath10k: whole magnitudes 0 to 255
};

constexpr LineKind KINDS[] = {
    {"dbm512", 512, -109, false},
    {"dbm64", 64, -109, false},
    {"magnitude512", 512, -96, true},
};

std::string line_of(const LineKind &kind)
{
    std::mt19937 rng(1);
    wdtest::SpectrumLine l;
    l.noise_dbm = kind.noise_dbm;
    l.timestamp = 3141592653u;
    l.bins.resize(kind.bins);
    for (double &b : l.bins)
        b = kind.magnitudes ? static_cast<double>(rng() % 256)
                            : -109.0 + static_cast<double>(rng() % 8900) / 100.0;
    return wdtest::spectrum_line(l);
}

void BM_Parse(benchmark::State &state)
{
    const std::string line = line_of(KINDS[state.range(0)]);
    SpectrumLine parsed;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parse_spectrum_line(line, parsed));
        benchmark::ClobberMemory();
    }
    state.SetLabel(KINDS[state.range(0)].name);
}
BENCHMARK(BM_Parse)->DenseRange(0, 2);

void BM_Record(benchmark::State &state)
{
    const std::string line = line_of(KINDS[state.range(0)]);
    LineRecord rec;
    std::string bytes;
    uint64_t time_us = 1700000000000000;
    for (auto _ : state) {
        line_record_from_line(line, rec);
        recording_record_bytes(
            rec.type, time_us++,
            {reinterpret_cast<const uint8_t *>(rec.body.data()), rec.body.size()}, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    if (rec.type != RecordType::Frame)
        state.SkipWithError("the line did not become a frame record");
    state.counters["line_bytes"] = static_cast<double>(line.size() + 1); // with its "\n"
    state.counters["record_bytes"] = static_cast<double>(bytes.size());
    state.counters["line_per_record"] =
        static_cast<double>(line.size() + 1) / static_cast<double>(bytes.size());
    state.SetLabel(KINDS[state.range(0)].name);
}
BENCHMARK(BM_Record)->DenseRange(0, 2);

// A replay's side: the line written again from its frame record.
void BM_LineFromRecord(benchmark::State &state)
{
    LineRecord rec;
    line_record_from_line(line_of(KINDS[state.range(0)]), rec);
    std::string line;
    for (auto _ : state) {
        line_from_record(
            rec.type, {reinterpret_cast<const uint8_t *>(rec.body.data()), rec.body.size()}, line);
        benchmark::DoNotOptimize(line.data());
    }
    state.SetLabel(KINDS[state.range(0)].name);
}
BENCHMARK(BM_LineFromRecord)->DenseRange(0, 2);

class RatioReporter : public benchmark::ConsoleReporter
{
  public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

// How many times parsing alone recording takes; at most goal.
void print_cost(const RatioReporter &r, const std::string &plain, const std::string &op,
                double goal)
{
    auto base = r.times.find(plain), mine = r.times.find(op);
    if (base == r.times.end() || mine == r.times.end() || base->second <= 0)
        return;
    double ratio = mine->second / base->second;
    printf("cost %s / %s = %.2fx (goal at most %.1fx): %s\n", op.c_str(), plain.c_str(), ratio,
           goal, ratio <= goal ? "met" : "NOT MET");
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // The daemon's lines are read straight from their text: recording one
    // costs less than the general parse every companion already pays.
    for (int k = 0; k < 3; k++) {
        const std::string arg = "/" + std::to_string(k);
        print_cost(reporter, "BM_Parse" + arg, "BM_Record" + arg, 1.0);
    }
    benchmark::Shutdown();
    return 0;
}
