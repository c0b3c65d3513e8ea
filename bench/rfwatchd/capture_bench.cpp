// SPDX-License-Identifier: MIT
// Spectral capture hot paths against their straightforward constructions,
// measured in the same run; the ratios are printed at the end.
#include "capture/ath11k_report.h"
#include "capture/sample_aggregate.h"
#include "capture/sample_json.h"
#include "capture_reference.h"
#include "spectral_report.h"

#include <benchmark/benchmark.h>
#include <cjson/cJSON.h>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>

using namespace wdtest;

namespace
{

SpectralSample json_sample()
{
    SpectralSample s;
    memset(&s, 0, sizeof s);
    s.freq_mhz = 5180;
    s.bandwidth_mhz = 160;
    s.noise_dbm = -109;
    s.rssi = 37;
    s.timestamp = 3141592653u;
    s.bin_count = 512;
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dbm(-109.0f, -20.0f);
    for (size_t j = 0; j < 512; ++j)
        s.bins[j] = j % 7 == 0 ? -109.0f : dbm(rng);
    return s;
}

std::vector<uint8_t> ath11k_report(uint8_t type)
{
    Ath11kReport r;
    r.type = type;
    r.rssi = 40;
    r.gain = 70;
    r.max_exp = 6;
    r.offset_base = 120;
    r.offset_sub = 10;
    r.bins.resize(512);
    std::mt19937 rng(2);
    for (uint8_t &b : r.bins)
        b = static_cast<uint8_t>(rng() % 256);
    return encode_report(r);
}

void BM_JsonReference(benchmark::State &state)
{
    SpectralSample s = json_sample();
    for (auto _ : state) {
        char *line = reference_sample_to_json(s, 12);
        benchmark::DoNotOptimize(line);
        cJSON_free(line);
    }
}
BENCHMARK(BM_JsonReference);

void BM_JsonFast(benchmark::State &state)
{
    SpectralSample s = json_sample();
    for (auto _ : state) {
        char *line = sample_to_json(s, 12);
        benchmark::DoNotOptimize(line);
        cJSON_free(line);
    }
}
BENCHMARK(BM_JsonFast);

// The reference decoder: the same framing (length and frequency read as the
// parser reads them) and power rule, libm log10f per bin. The fast parser is
// not called here, so the ratio compares the two decoders alone.
void BM_Ath11kReference(benchmark::State &state)
{
    auto bytes = ath11k_report(static_cast<uint8_t>(state.range(0)));
    SpectralSample s{};
    for (auto _ : state) {
        const uint8_t *report = bytes.data();
        size_t length = (size_t{report[1]} << 8) | report[2];
        s.freq_mhz = static_cast<uint16_t>((report[12] << 8) | report[13]);
        s.bin_count = length - 25;
        reference_ath11k_bins(report, s.bin_count, s.bins);
        benchmark::DoNotOptimize(s);
        benchmark::ClobberMemory();
    }
}

void BM_Ath11kFast(benchmark::State &state)
{
    auto bytes = ath11k_report(static_cast<uint8_t>(state.range(0)));
    SpectralSample s{};
    for (auto _ : state) {
        size_t consumed = 0;
        benchmark::DoNotOptimize(parse_ath11k_report(bytes.data(), bytes.size(), s, consumed));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Ath11kFast)->Arg(4)->Arg(100);
BENCHMARK(BM_Ath11kReference)->Arg(4)->Arg(100);

// Cost of one sample with 1, 64 or 512 slots taken, the sample's frequency
// cycling through them (so the slot scan covers half of them on average).
void BM_AggregateAdd(benchmark::State &state)
{
    auto slots = static_cast<uint16_t>(state.range(0));
    auto aggregates = std::make_unique<SampleAggregate[]>(2);
    memset(aggregates.get(), 0, 2 * sizeof(SampleAggregate));
    SpectralSample s = json_sample();
    for (uint16_t f = 0; f < slots; ++f) {
        s.freq_mhz = static_cast<uint16_t>(2400 + f);
        aggregate_add_sample(aggregates.get(), s);
    }
    uint16_t next = 0;
    for (auto _ : state) {
        s.freq_mhz = static_cast<uint16_t>(2400 + next);
        next = static_cast<uint16_t>(next + 1 == slots ? 0 : next + 1);
        aggregate_add_sample(aggregates.get(), s);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_AggregateAdd)->Arg(1)->Arg(64)->Arg(512);

// What aggregate_add_sample costs at least: the per-bin maximum of the same
// 512 bins into 2 KiB, nothing looked up. The destination cycles through as
// many arrays as BM_AggregateAdd has slots in use, so that both touch the
// same memory and the ratio is the lookup's and the bookkeeping's share.
void BM_MaxMerge2KiB(benchmark::State &state)
{
    auto arrays = static_cast<size_t>(state.range(0));
    auto into = std::make_unique<float[]>(arrays * MAX_SPECTRAL_BINS);
    SpectralSample s = json_sample();
    for (size_t a = 0; a < arrays; ++a)
        memcpy(&into[a * MAX_SPECTRAL_BINS], s.bins, sizeof s.bins);
    size_t next = 0;
    for (auto _ : state) {
        float *bins = &into[next * MAX_SPECTRAL_BINS];
        next = next + 1 == arrays ? 0 : next + 1;
        for (size_t j = 0; j < s.bin_count; ++j)
            bins[j] = bins[j] > s.bins[j] ? bins[j] : s.bins[j];
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_MaxMerge2KiB)->Arg(1)->Arg(64);

// Keeps each run's CPU time per iteration so the ratios come from this run
// (CPU time, as the machine is shared and wall time includes waiting).
class RatioReporter : public benchmark::ConsoleReporter
{
  public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

void print_ratio(const RatioReporter &r, const std::string &reference, const std::string &fast,
                 double goal)
{
    auto ref = r.times.find(reference), mine = r.times.find(fast);
    if (ref == r.times.end() || mine == r.times.end() || mine->second <= 0)
        return;
    double ratio = ref->second / mine->second;
    printf("ratio %s / %s = %.1fx (goal %.0fx): %s\n", reference.c_str(), fast.c_str(), ratio, goal,
           ratio >= goal ? "met" : "NOT MET");
}

// How many times the plain loop's time the operation takes; at most goal.
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
    print_ratio(reporter, "BM_JsonReference", "BM_JsonFast", 15);
    print_ratio(reporter, "BM_Ath11kReference/4", "BM_Ath11kFast/4", 12);
    print_ratio(reporter, "BM_Ath11kReference/100", "BM_Ath11kFast/100", 12);
    // The goal: against one 2 KiB destination, which stays in the first
    // level cache; beside it, against 64 destinations, the same memory as
    // 64 slots, which leaves only the lookup and bookkeeping as the gap.
    print_cost(reporter, "BM_MaxMerge2KiB/1", "BM_AggregateAdd/64", 1.5);
    print_cost(reporter, "BM_MaxMerge2KiB/64", "BM_AggregateAdd/64", 1.5);
    benchmark::Shutdown();
    return 0;
}
