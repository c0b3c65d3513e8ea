// SPDX-License-Identifier: MIT
// The air engine against scenes whose truth is known: fakeath's emitters
// make each report on a virtual clock, the driver's own report format
// carries it through rfwatchd's decoders into the engine, and the air lines
// it writes every second are read back and compared with what the
// emitters did. Prints, per scene, how often each emitter was named right
// and how far the reported duty was off, then a confusion table; exits 1
// when a target is missed.
//
// air_scenes [--short] [--lines] [--seed N] [SCENE]
//   --short: the subset the unit tests run; --lines: print the air lines;
//   SCENE: run only the scene of that name.
#include "air/air_engine.h"
#include "capture/ath10k_report.h"
#include "capture/ath11k_report.h"
#include "report_gen.h"
#include "scene.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr size_t MAX_EMITTERS = 3;
constexpr double SETTLE_S = 10; // lines before this are not scored
constexpr double DUTY_WINDOW_S = 5;
constexpr double RATE_HZ = 200;
constexpr size_t MAX_BINS = 512;

// SWEEP: the capture visits the 2.4 GHz channels 1 to 11, a second each;
// scored on the channels' quality (an oven on channel 9 spoils channel 9,
// not channel 1), not on naming, which each frequency learns afresh.
enum Target : uint8_t { ALONE, APART, WIFI_ONLY, SWEEP };
constexpr int SWEEP_CHANNELS = 11;
struct Capture {
    double centre_mhz, width_mhz;
    size_t bins;
};
constexpr Capture WIDE_24 = {2442, 40, 128}; // channels 5-9 of 2.4 GHz
struct SceneRow {
    const char *name;
    Target target;
    double seconds;
    bool in_short;
    const char *emitters[MAX_EMITTERS]; // fakeath's --emitter text
    Capture capture = WIDE_24;
};

#define EMITTER_LEVELS(kind, rest)                                                                 \
    {kind " -80", ALONE, 30, true, {kind "," rest ",dbm=-80"}},                                    \
        {kind " -60", ALONE, 30, true, {kind "," rest ",dbm=-60"}},                                \
        {kind " -30", ALONE, 30, false, {kind "," rest ",dbm=-30"}},                               \
    {                                                                                              \
        kind " -40", ALONE, 30, true,                                                              \
        {                                                                                          \
            kind "," rest ",dbm=-40"                                                               \
        }                                                                                          \
    }

const SceneRow SCENES[] = {
    EMITTER_LEVELS("wifi", "mhz=2437,width=20,duty=0.4,burst_ms=2"),
    EMITTER_LEVELS("microwave", "mhz=2450,width=8,mains=50"),
    EMITTER_LEVELS("hopper", "from=2402,to=2480,duty=0.3"),
    EMITTER_LEVELS("narrowband", "mhz=2455,width=2,duty=0.3,burst_ms=4"),
    EMITTER_LEVELS("continuous", "mhz=2440,width=10"),
    {"microwave 60 Hz", ALONE, 30, true, {"microwave,mhz=2445,width=8,mains=60,dbm=-55"}},
    {"wifi + narrowband",
     APART,
     30,
     true,
     {"wifi,mhz=2432,width=20,duty=0.5,dbm=-55", "narrowband,mhz=2457,width=3,duty=0.3,dbm=-65"}},
    {"microwave + continuous",
     APART,
     30,
     true,
     {"microwave,mhz=2433,width=8,dbm=-50", "continuous,mhz=2459,width=3,dbm=-70"}},
    {"wifi + hopper + narrowband",
     APART,
     30,
     true,
     {"wifi,mhz=2437,width=20,duty=0.3,dbm=-60", "hopper,from=2452,to=2461,duty=0.3,dbm=-55",
      "narrowband,mhz=2424,width=2,duty=0.2,dbm=-70"}},
    {"wifi 40 MHz", ALONE, 30, true, {"wifi,mhz=2442,width=40,duty=0.4,dbm=-60"}},
    {"wifi busy", ALONE, 30, true, {"wifi,mhz=2437,width=20,duty=0.8,burst_ms=4,dbm=-65"}},
    {"wifi 5 GHz 80 MHz",
     ALONE,
     30,
     true,
     {"wifi,mhz=5210,width=80,duty=0.4,dbm=-60"},
     {5210, 80, 256}},
    {"continuous 5 GHz", ALONE, 30, true, {"continuous,mhz=5183,width=6,dbm=-70"}, {5180, 20, 64}},
    {"hopper, 20 MHz capture", ALONE, 30, true, {"hopper,duty=0.3,dbm=-60"}, {2437, 20, 64}},
    {"microwave, 20 MHz capture",
     ALONE,
     30,
     true,
     {"microwave,mhz=2450,width=8,dbm=-60"},
     {2447, 20, 64}},
    {"narrowband, 20 MHz capture",
     ALONE,
     30,
     true,
     {"narrowband,mhz=2440,width=3,duty=0.2,dbm=-75"},
     {2437, 20, 64}},
    {"microwave on channel 9, sweep",
     SWEEP,
     66,
     true,
     {"microwave,mhz=2452,width=8,dbm=-50"},
     {2412, 20, 64}},
    // The documentation's picture: an oven beside a busy channel 6 and a
    // hopper everywhere, in one capture of the whole band.
    {"oven, wifi and hopper, 80 MHz",
     APART,
     30,
     true,
     {"wifi,mhz=2437,width=20,duty=0.35,burst_ms=2,dbm=-62",
      "microwave,mhz=2462,width=8,mains=50,dbm=-55", "hopper,from=2402,to=2480,duty=0.3,dbm=-66"},
     {2442, 80, 128}},
    {"wifi only", WIFI_ONLY, 600, false, {"wifi,mhz=2437,width=20,duty=0.5,burst_ms=2,dbm=-50"}},
    {"wifi only, short",
     WIFI_ONLY,
     60,
     true,
     {"wifi,mhz=2437,width=20,duty=0.5,burst_ms=2,dbm=-50"}},
};

constexpr const char *CLASSES[] = {"wifi",       "microwave", "hopper",  "narrowband",
                                   "continuous", "pulsed",    "unknown", "none"};
constexpr size_t CLASS_COUNT = sizeof(CLASSES) / sizeof(CLASSES[0]);

size_t class_index(const char *name)
{
    for (size_t i = 0; i < CLASS_COUNT; ++i)
        if (std::strcmp(CLASSES[i], name) == 0)
            return i;
    return CLASS_COUNT - 1;
}

struct Tally {
    uint64_t lines = 0, right = 0;
    double duty_sq = 0;
    uint64_t duty_windows = 0;
    // The duty window being summed: truth and measured on-reports.
    double win_reports = 0, win_on = 0, win_measured = 0;
};

struct Run {
    const SceneRow &row;
    Capture capture; // where the radio is tuned now
    bool ath10k;
    fakeath::Scene scene;
    double span_lo[MAX_EMITTERS], span_hi[MAX_EMITTERS];
    size_t kind[MAX_EMITTERS];
    Tally tally[MAX_EMITTERS];
    uint64_t confusion[CLASS_COUNT][CLASS_COUNT]; // [truth][named]
    // Per second: reports with each emitter in the band, and on.
    uint32_t sec_inside[MAX_EMITTERS], sec_on[MAX_EMITTERS];
    std::vector<uint32_t> non_wifi_ids;
    double now_s;
    // Channels whose quality is not what the line's own signals give.
    uint64_t quality_checked, quality_wrong;
    // Ovens named with a width far from the span they sweep in the capture,
    // and channels clear of every oven whose quality an oven lowered.
    uint64_t oven_width_wrong, oven_reach_wrong;
    // SWEEP: channel 9's qualities summed, and channel 1's lowest.
    double ch9_sum;
    uint64_t ch9_lines;
    int ch1_lowest;
};

double number(const cJSON *o, const char *key)
{
    return cJSON_GetObjectItem(o, key)->valuedouble;
}

// An oven's span in the capture: where it sweeps, less what lies outside.
void oven_span(const Run &run, size_t e, double &lo, double &hi)
{
    lo = std::max(run.span_lo[e], run.capture.centre_mhz - run.capture.width_mhz / 2);
    hi = std::min(run.span_hi[e], run.capture.centre_mhz + run.capture.width_mhz / 2);
}

// A channel 5 MHz or more from every oven's span, with an oven in the scene.
bool clear_of_ovens(const Run &run, double mhz)
{
    bool ovens = false;
    for (size_t e = 0; e < run.scene.emitter_count; ++e) {
        double lo = 0, hi = 0;
        oven_span(run, e, lo, hi);
        bool oven = run.kind[e] == class_index("microwave");
        ovens = ovens || oven;
        if (oven && mhz + 10 > lo - 5 && mhz - 10 < hi + 5)
            return false;
    }
    return ovens;
}

// Each channel's quality must be the formula over the line's own non-Wi-Fi
// signals that overlap it: so adding a signal can only lower it.
void check_quality(Run &run, const cJSON *line)
{
    const cJSON *ch = nullptr;
    cJSON_ArrayForEach(ch, cJSON_GetObjectItem(line, "channels"))
    {
        double sum = 0, ovens = 0;
        const cJSON *sig = nullptr;
        cJSON_ArrayForEach(sig, cJSON_GetObjectItem(line, "signals"))
        {
            const char *cls = cJSON_GetObjectItem(sig, "class")->valuestring;
            if (std::strcmp(cls, "wifi") == 0 ||
                std::fabs(number(sig, "mhz") - number(ch, "mhz")) >=
                    number(sig, "width_mhz") / 2 + 10)
                continue;
            double w = number(sig, "duty") * std::clamp((number(sig, "dbm") + 90) / 30, 0.0, 1.0);
            sum += w;
            ovens += std::strcmp(cls, "microwave") == 0 ? w : 0;
        }
        double expect = 100 * (1 - std::min(1.0, sum));
        int quality = static_cast<int>(number(ch, "quality"));
        run.quality_checked++;
        run.quality_wrong += std::fabs(quality - expect) > 1;
        // No oven may weigh on a channel clear of them, once their spans are learnt.
        if (run.now_s > SETTLE_S && clear_of_ovens(run, number(ch, "mhz")))
            run.oven_reach_wrong += ovens > 0.005;
        if (run.row.target != SWEEP || run.now_s <= SETTLE_S)
            continue;
        int channel = static_cast<int>(number(ch, "channel"));
        if (channel == 9) {
            run.ch9_sum += quality;
            run.ch9_lines++;
        }
        if (channel == 1)
            run.ch1_lowest = std::min(run.ch1_lowest, quality);
    }
}

// The signals of one air line that lie inside emitter e's span: the one
// named right if any, else the busiest.
const cJSON *pick(const Run &run, size_t e, const cJSON *signals)
{
    const cJSON *best = nullptr;
    const cJSON *sig = nullptr;
    cJSON_ArrayForEach(sig, signals)
    {
        double mhz = cJSON_GetObjectItem(sig, "mhz")->valuedouble;
        if (mhz < run.span_lo[e] || mhz > run.span_hi[e])
            continue;
        const char *cls = cJSON_GetObjectItem(sig, "class")->valuestring;
        if (class_index(cls) == run.kind[e])
            return sig;
        double duty = cJSON_GetObjectItem(sig, "duty")->valuedouble;
        if (!best || duty > cJSON_GetObjectItem(best, "duty")->valuedouble)
            best = sig;
    }
    return best;
}

void score_duty(Tally &t, uint32_t inside, uint32_t on, double measured, double reports,
                bool scored)
{
    t.win_reports += inside;
    t.win_on += on;
    t.win_measured += measured * reports;
    if (!scored || t.win_reports < RATE_HZ * DUTY_WINDOW_S * 0.9)
        return;
    double err = t.win_measured / t.win_reports - t.win_on / t.win_reports;
    t.duty_sq += err * err;
    t.duty_windows++;
    t.win_reports = t.win_on = t.win_measured = 0;
}

uint64_t g_seed = 24;   // --seed N: another draw of every scene
bool g_verbose = false; // --lines: every air line is printed as it is read

void take_line(Run &run, std::string_view text)
{
    if (g_verbose)
        std::printf("%.*s\n", static_cast<int>(text.size()), text.data());
    cJSON *line = cJSON_ParseWithLength(text.data(), text.size());
    if (!line) {
        std::fprintf(stderr, "unparsable air line: %.*s\n", static_cast<int>(text.size()),
                     text.data());
        std::exit(2);
    }
    check_quality(run, line);
    bool scored = run.now_s > SETTLE_S;
    const cJSON *signals = cJSON_GetObjectItem(line, "signals");
    double reports = cJSON_GetObjectItem(line, "reports")->valuedouble;
    for (size_t e = 0; e < run.scene.emitter_count; ++e) {
        const cJSON *sig = pick(run, e, signals);
        double duty = sig ? cJSON_GetObjectItem(sig, "duty")->valuedouble : 0;
        score_duty(run.tally[e], run.sec_inside[e], run.sec_on[e], duty, reports, scored);
        if (!scored || run.sec_inside[e] == 0)
            continue;
        size_t named =
            sig ? class_index(cJSON_GetObjectItem(sig, "class")->valuestring) : CLASS_COUNT - 1;
        run.confusion[run.kind[e]][named]++;
        if (named == run.kind[e] && run.kind[e] == class_index("microwave")) {
            // Its skirts and the bins' width add a few MHz to the sweep.
            double lo = 0, hi = 0;
            oven_span(run, e, lo, hi);
            run.oven_width_wrong += std::fabs(number(sig, "width_mhz") - (hi - lo)) > 8;
        }
        run.tally[e].lines++;
        run.tally[e].right += named == run.kind[e];
    }
    const cJSON *sig = nullptr;
    cJSON_ArrayForEach(sig, signals)
    {
        // Any signal named other than wifi after settling counts once.
        if (!scored || std::strcmp(cJSON_GetObjectItem(sig, "class")->valuestring, "wifi") == 0)
            continue;
        auto id = static_cast<uint32_t>(cJSON_GetObjectItem(sig, "first_seen")->valuedouble);
        bool known = false;
        for (uint32_t k : run.non_wifi_ids)
            known = known || k == id;
        if (!known)
            run.non_wifi_ids.push_back(id);
    }
    cJSON_Delete(line);
}

void feed(Run &run, AirEngine &engine, uint64_t k, double *dbm, std::vector<uint8_t> &bytes)
{
    fakeath::SceneReport rep = fakeath::scene_report(run.scene, k, dbm, run.row.capture.bins);
    for (size_t e = 0; e < run.scene.emitter_count; ++e) {
        run.sec_inside[e] += rep.inside[e];
        run.sec_on[e] += rep.on[e];
    }
    fakeath::ReportParams p;
    p.type = run.ath10k ? 3 : 4;
    p.freq_mhz = static_cast<uint16_t>(run.capture.centre_mhz);
    p.width_mhz = static_cast<uint16_t>(run.row.capture.width_mhz);
    p.timestamp = run.ath10k ? rep.timestamp : rep.timestamp & 0xffffffffu;
    bytes.clear();
    fakeath::append_generated_report(bytes, p, dbm, run.row.capture.bins);
    static SpectralSample sample;
    size_t used = 0;
    SourceError err = run.ath10k ? parse_ath10k_report(bytes.data(), bytes.size(), sample, used)
                                 : parse_ath11k_report(bytes.data(), bytes.size(), sample, used);
    if (err != SourceError::Success) {
        std::fprintf(stderr, "%s: report %llu does not decode\n", run.row.name,
                     static_cast<unsigned long long>(k));
        std::exit(2);
    }
    air_engine_add(engine, sample);
}

void run_scene(Run &run)
{
    fakeath::Scene &s = run.scene;
    s.seed = g_seed;
    fakeath::scene_tune(s, run.row.capture.centre_mhz, run.row.capture.width_mhz);
    for (const char *text : run.row.emitters) {
        if (!text)
            break;
        fakeath::Emitter e;
        char err[160];
        if (fakeath::emitter_parse(e, text, err, sizeof err) != 0) {
            std::fprintf(stderr, "%s: %s\n", text, err);
            std::exit(2);
        }
        size_t i = s.emitter_count;
        fakeath::scene_add_emitter(s, e);
        fakeath::emitter_span(e, run.span_lo[i], run.span_hi[i]);
        run.kind[i] = class_index(fakeath::emitter_kind_name(e.kind));
    }
    AirEngine *engine =
        air_engine_new(AirSettings{}, run.ath10k ? AirDriver::Ath10k : AirDriver::Ath11k);
    AirCursor *cursor = engine ? air_cursor_new(*engine) : nullptr;
    if (!cursor) {
        std::fprintf(stderr, "out of memory\n");
        std::exit(2);
    }
    std::vector<uint8_t> bytes;
    static double dbm[MAX_BINS];
    auto take = [&run](std::string_view text) { take_line(run, text); };
    auto reports = static_cast<uint64_t>(run.row.seconds * RATE_HZ);
    double second = 1;
    for (uint64_t k = 0; k < reports; ++k) {
        // A window ends at each whole second of the virtual clock.
        if (fakeath::scene_report_time(s, k) >= second * 1e6) {
            run.now_s = second;
            air_write_lines(*engine, *cursor, 1000, take);
            std::memset(run.sec_inside, 0, sizeof run.sec_inside);
            std::memset(run.sec_on, 0, sizeof run.sec_on);
            second += 1;
            if (run.row.target == SWEEP) {
                const int step = static_cast<int>(second - 1) % SWEEP_CHANNELS;
                run.capture.centre_mhz = run.row.capture.centre_mhz + 5 * step;
                fakeath::scene_tune(s, run.capture.centre_mhz, run.capture.width_mhz);
            }
        }
        feed(run, *engine, k, dbm, bytes);
    }
    air_cursor_free(cursor);
    air_engine_free(engine);
}

struct Totals {
    uint64_t confusion[CLASS_COUNT][CLASS_COUNT];
    bool missed;
};

// An oven given a width far from its sweep, or reaching channels clear of it.
void report_ovens(const Run &run, Totals &totals)
{
    if (run.oven_width_wrong == 0 && run.oven_reach_wrong == 0)
        return;
    std::printf("%-28s %-6s oven's width off its span in %llu lines; quality of channels clear "
                "of it lowered %llu times  MISSED\n",
                run.row.name, run.ath10k ? "ath10k" : "ath11k",
                static_cast<unsigned long long>(run.oven_width_wrong),
                static_cast<unsigned long long>(run.oven_reach_wrong));
    totals.missed = true;
}

void report_run(const Run &run, Totals &totals)
{
    for (size_t e = 0; e < run.scene.emitter_count; ++e) {
        const Tally &t = run.tally[e];
        double share = t.lines ? static_cast<double>(t.right) / static_cast<double>(t.lines) : 0;
        double rms =
            t.duty_windows ? std::sqrt(t.duty_sq / static_cast<double>(t.duty_windows)) : 0;
        double goal = run.row.target == APART ? 0.90 : 0.95;
        bool miss = (run.row.target == ALONE || run.row.target == APART) && share < goal;
        std::printf("%-28s %-6s %-10s named right %5.1f%% of %3llu lines (goal %.0f%%)  duty rms "
                    "%.3f (%llu windows)%s\n",
                    run.row.name, run.ath10k ? "ath10k" : "ath11k", CLASSES[run.kind[e]],
                    100 * share, static_cast<unsigned long long>(t.lines), 100 * goal, rms,
                    static_cast<unsigned long long>(t.duty_windows), miss ? "  MISSED" : "");
        totals.missed = totals.missed || miss;
    }
    if (run.quality_wrong > 0) {
        std::printf("%-28s %-6s quality not the formula's on %llu of %llu channels  MISSED\n",
                    run.row.name, run.ath10k ? "ath10k" : "ath11k",
                    static_cast<unsigned long long>(run.quality_wrong),
                    static_cast<unsigned long long>(run.quality_checked));
        totals.missed = true;
    }
    report_ovens(run, totals);
    if (run.row.target == SWEEP) {
        double ch9 = run.ch9_lines ? run.ch9_sum / static_cast<double>(run.ch9_lines) : 100;
        bool miss = run.ch9_lines == 0 || ch9 >= 60 || run.ch1_lowest <= 90;
        std::printf("%-28s %-6s channel 9 quality %.1f over %llu lines (goal < 60), channel 1 "
                    "lowest %d (goal > 90)%s\n",
                    run.row.name, run.ath10k ? "ath10k" : "ath11k", ch9,
                    static_cast<unsigned long long>(run.ch9_lines), run.ch1_lowest,
                    miss ? "  MISSED" : "");
        totals.missed = totals.missed || miss;
    }
    if (run.row.target == WIFI_ONLY) {
        bool miss = run.non_wifi_ids.size() > 1;
        std::printf("%-28s %-6s non-wifi labels: %zu (goal <= 1)%s\n", run.row.name,
                    run.ath10k ? "ath10k" : "ath11k", run.non_wifi_ids.size(),
                    miss ? "  MISSED" : "");
        totals.missed = totals.missed || miss;
    }
    for (size_t a = 0; a < CLASS_COUNT; ++a)
        for (size_t b = 0; b < CLASS_COUNT; ++b)
            totals.confusion[a][b] += run.confusion[a][b];
}

void print_confusion(const Totals &t)
{
    std::printf("\nconfusion (lines after %.0f s; rows: emitted, columns: named)\n%-11s", SETTLE_S,
                "");
    for (const char *c : CLASSES)
        std::printf("%11s", c);
    std::printf("\n");
    for (size_t a = 0; a < CLASS_COUNT; ++a) {
        std::printf("%-11s", CLASSES[a]);
        for (size_t b = 0; b < CLASS_COUNT; ++b)
            std::printf("%11llu", static_cast<unsigned long long>(t.confusion[a][b]));
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char **argv)
{
    bool short_run = false;
    const char *only = nullptr; // a scene's name: run it alone
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0)
            short_run = true;
        else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc)
            g_seed = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--lines") == 0)
            g_verbose = true;
        else
            only = argv[i];
    }
    static Totals totals;
    for (const SceneRow &row : SCENES) {
        if ((short_run && !row.in_short) || (only && std::strcmp(only, row.name) != 0))
            continue;
        for (bool ath10k : {false, true}) {
            // A scene holds a few MiB of tables: on the heap, not the stack.
            std::unique_ptr<Run> run(new Run{row, row.capture, ath10k, {}, {}, {}, {},
                                             {},  {},          {},     {}, {}, 0,  0,
                                             0,   0,           0,      0,  0,  100});
            run_scene(*run);
            report_run(*run, totals);
        }
    }
    print_confusion(totals);
    std::printf("%s\n", totals.missed ? "targets missed" : "all targets met");
    return totals.missed ? 1 : 0;
}
