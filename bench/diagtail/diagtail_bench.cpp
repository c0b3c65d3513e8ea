// SPDX-License-Identifier: MIT
// diagtail's hot path: decoding a full read of firmware message records
// and rendering their texts, and the renderer against glibc's snprintf on
// the same formats and values, reported as a ratio from the same run.
#include "catalogue.h"
#include "decoder.h"
#include "render.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{

struct Typical {
    uint16_t id;
    const char *arg_types;
    const char *format;
    std::vector<int32_t> args; // non-negative for unsigned conversions
};

// Typical firmware messages: 3 to 6 arguments, widths, zero padding, hex.
const Typical typical[] = {
    {100, "3u", "WLAN: vdev %u started on freq %u MHz, bw %u MHz", {1, 5180, 80}},
    {101, "u2i", "RSSI: peer %u rssi %d dBm noise %d dBm", {3, -58, -96}},
    {102, "4u", "TX: ac %u queued %5u sent %5u dropped %u", {2, 1200, 1187, 13}},
    {103, "2u2x", "MAC: vdev %u link %u tsf 0x%08x:%08x", {0, 1, 0x2A, 0x1C3F01D0}},
    {104, "5u", "SCAN: chan %u dwell %u ms probes %u results %u aborted %u", {36, 110, 2, 14, 0}},
    {105,
     "6u",
     "ROAM: vdev %u from %04x to %04X rssi %u->%u after %-6u ms",
     {0, 0x1A2B, 0x3C4D, 40, 62, 35}},
    {106, "3iuu", "CAL: chain %d delta %+d gain %u step %u", {1, -3, 18, 2}},
    {107, "4u", "HTT: ring %u head %u tail %u size %u", {7, 1023, 511, 2048}},
};
constexpr size_t TYPICAL = sizeof typical / sizeof *typical;

std::vector<uint8_t> words_of(const Typical &t)
{
    std::vector<uint8_t> out;
    for (int32_t a : t.args)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(a) >> (8 * i)));
    return out;
}

void put_word(std::vector<uint8_t> &out, uint32_t w)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(w >> (8 * i)));
}

// One 4096-byte read's worth of kind-3 records cycling through the
// typical messages.
std::vector<uint8_t> full_read(size_t &records)
{
    std::vector<uint8_t> out;
    records = 0;
    for (size_t i = 0;; ++i) {
        const Typical &t = typical[i % TYPICAL];
        std::vector<uint8_t> payload = words_of(t);
        if (out.size() + 8 + payload.size() > READ_BUFFER_SIZE)
            break;
        put_word(out, 3u << 24 | static_cast<uint32_t>(i * 16 & 0xFFFFFF));
        put_word(out, static_cast<uint32_t>(t.id) << 16 | 1u << 8 |
                          static_cast<uint32_t>(payload.size()));
        out.insert(out.end(), payload.begin(), payload.end());
        ++records;
    }
    return out;
}

struct Catalogue {
    MessageCatalogue cat = {};
    Catalogue()
    {
        catalogue_init(cat, 2 * static_cast<int32_t>(TYPICAL));
        for (const Typical &t : typical) {
            std::string line = std::to_string(t.id) + "," + t.arg_types + "," + t.format + "\n";
            catalogue_add_line(cat, line.data());
        }
    }
    ~Catalogue() { free_catalogue(&cat); }
};

void BM_DecodeRead(benchmark::State &state)
{
    Catalogue c;
    size_t records = 0;
    std::vector<uint8_t> bytes = full_read(records);
    FILE *out = fopen("/dev/null", "w");
    static char outbuf[1 << 16];
    setvbuf(out, outbuf, _IOFBF, sizeof outbuf);
    DecoderState st = {};
    for (auto _ : state)
        decode_read(st, c.cat, bytes, out);
    fclose(out);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * records));
    state.counters["records_per_read"] = static_cast<double>(records);
}
BENCHMARK(BM_DecodeRead);

void BM_Render(benchmark::State &state)
{
    std::vector<std::vector<uint8_t>> payloads;
    std::vector<std::string> types;
    char expanded[ARG_TYPES_MAX + 1];
    for (const Typical &t : typical) {
        payloads.push_back(words_of(t));
        expand_arg_types(t.arg_types, expanded);
        types.push_back(expanded);
    }
    TextBuffer text;
    for (auto _ : state) {
        for (size_t i = 0; i < TYPICAL; ++i) {
            render_message(text, typical[i].format, types[i].c_str(), payloads[i]);
            benchmark::DoNotOptimize(text);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * TYPICAL));
}
BENCHMARK(BM_Render);

int snprintf_typical(char *buf, const Typical &t)
{
    int a[6] = {};
    for (size_t k = 0; k < t.args.size(); ++k)
        a[k] = t.args[k];
    // Arguments beyond the format's are evaluated and ignored.
    return snprintf(buf, TEXT_BUFFER_SIZE, t.format, a[0], a[1], a[2], a[3], a[4], a[5]);
}

void BM_Snprintf(benchmark::State &state)
{
    char text[TEXT_BUFFER_SIZE];
    for (auto _ : state) {
        for (const Typical &t : typical) {
            snprintf_typical(text, t);
            benchmark::DoNotOptimize(text);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * TYPICAL));
}
BENCHMARK(BM_Snprintf);

// Both sides must produce the same text, or the comparison means nothing.
bool renderer_matches_snprintf()
{
    char expanded[ARG_TYPES_MAX + 1];
    for (const Typical &t : typical) {
        TextBuffer mine;
        char theirs[TEXT_BUFFER_SIZE];
        expand_arg_types(t.arg_types, expanded);
        render_message(mine, t.format, expanded, words_of(t));
        snprintf_typical(theirs, t);
        if (strcmp(mine, theirs) != 0) {
            fprintf(stderr, "renderer and snprintf differ:\n  %s\n  %s\n", mine, theirs);
            return false;
        }
    }
    return true;
}

class RatioReporter : public benchmark::ConsoleReporter
{
  public:
    std::map<std::string, double> time;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                time[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (!renderer_matches_snprintf())
        return 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    auto mine = reporter.time.find("BM_Render");
    auto theirs = reporter.time.find("BM_Snprintf");
    if (mine != reporter.time.end() && theirs != reporter.time.end() && mine->second > 0)
        printf("renderer speed relative to snprintf (CPU time): %.2f (goal >= 1.0)\n",
               theirs->second / mine->second);
    return 0;
}
