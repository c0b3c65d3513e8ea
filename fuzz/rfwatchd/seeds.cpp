// SPDX-License-Identifier: MIT
// Hand-made seeds of the rfwatchd harnesses: valid reports of both drivers
// and the edge cases their parsers must judge, sample-source read plans,
// client commands, samples and bin values.
#include "fuzz_seed.h"
#include "spectral_report.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

using namespace wdtest;

namespace
{

std::vector<uint8_t> ramp(size_t n, unsigned step)
{
    std::vector<uint8_t> bins(n);
    for (size_t j = 0; j < n; ++j)
        bins[j] = static_cast<uint8_t>(j * step);
    return bins;
}

Ath11kReport ath11k(uint8_t type, size_t bins)
{
    Ath11kReport r;
    r.type = type;
    r.rssi = 40;
    r.timestamp = 0x01020304;
    r.bins = ramp(bins, 7);
    return r;
}

Ath10kReport ath10k(size_t bins)
{
    Ath10kReport r;
    r.rssi = 30;
    r.timestamp = 0x0102030405060708ull;
    r.bins = ramp(bins, 3);
    return r;
}

template <typename... R> std::vector<uint8_t> reports(const R &...r)
{
    std::vector<uint8_t> out;
    (append_report(out, r), ...);
    return out;
}

void le16(std::vector<uint8_t> &out, size_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void ath11k_seeds(const char *root)
{
    SeedWriter w(root, "ath11k_report_fuzz");
    w.write("type4_64", encode_report(ath11k(4, 64)));
    w.write("type100_512", encode_report(ath11k(100, 512)));
    Ath11kReport report = ath11k(100, 4); // gain 10, 100 - 20 - 10 - 99 + 5 dB
    report.gain = 10;
    report.offset_sub = 20;
    report.offset_base = 100;
    report.bins = {1, 0, 0, 0};
    w.write("type100_one_bin", encode_report(report));
    Ath11kReport zeros = ath11k(4, 16);
    zeros.bins.assign(16, 0);
    w.write("type4_all_zero", encode_report(zeros));
    Ath11kReport wrap = ath11k(4, 8);
    wrap.max_exp = 31;
    w.write("exponent_31", encode_report(wrap));
    Ath11kReport loud = ath11k(4, 32);
    loud.gain = 62;
    loud.rssi = 30;
    loud.max_exp = 30;
    loud.bins.assign(32, 255);
    w.write("gain62_exponent30", encode_report(loud));
    Ath11kReport hundred = ath11k(4, 100);
    std::vector<uint8_t> filler(13, 0);
    std::vector<uint8_t> bytes = filler;
    append_report(bytes, hundred);
    append_report(bytes, ath11k(100, 8));
    w.write("filler_invalid_valid", bytes);
    bytes = encode_report(ath11k(4, 256));
    bytes.resize(bytes.size() - 9);
    w.write("cut_short", bytes);
    w.write("no_type_byte", std::string("\x01\x02\x03\x05\x06", 5));
}

void ath10k_seeds(const char *root)
{
    SeedWriter w(root, "ath10k_report_fuzz");
    w.write("bins64", encode_report(ath10k(64)));
    w.write("bins128_then_256", reports(ath10k(128), ath10k(256)));
    Ath10kReport quiet = ath10k(64);
    quiet.noise_dbm = 0;
    w.write("noise_zero", encode_report(quiet));
    w.write("bins512", encode_report(ath10k(512)));
    w.write("ath11k_report", encode_report(ath11k(4, 64)));
    Ath10kReport liar = ath10k(64);
    liar.length = 2;
    w.write("short_length", encode_report(liar));
    w.write("two_bytes", std::string("\x03\x00", 2));
}

// Short reads: a flags byte, then a 16-bit length and the bytes of each.
void source_seeds(const char *root)
{
    SeedWriter w(root, "sample_source_fuzz");
    for (uint8_t driver : {0, 1}) {
        std::vector<uint8_t> a =
            driver ? reports(ath10k(64), ath10k(128)) : reports(ath11k(4, 64), ath11k(100, 32));
        std::vector<uint8_t> b = driver ? encode_report(ath10k(256)) : encode_report(ath11k(4, 8));
        std::vector<uint8_t> plan{driver};
        le16(plan, a.size());
        plan.insert(plan.end(), a.begin(), a.end());
        le16(plan, b.size() - 5); // cut: the rest is dropped with the read
        plan.insert(plan.end(), b.begin(), b.end() - 5);
        le16(plan, b.size());
        plan.insert(plan.end(), b.begin(), b.end());
        w.write(driver ? "ath10k_reads" : "ath11k_reads", plan);

        // Relay: reports repeated across the end of the full read.
        std::vector<uint8_t> relay{static_cast<uint8_t>(driver | 2)};
        le16(relay, 1000);
        le16(relay, 700);
        relay.insert(relay.end(), b.begin(), b.end());
        w.write(driver ? "ath10k_relay" : "ath11k_relay", relay);
    }
}

void command_seeds(const char *root)
{
    SeedWriter w(root, "client_command_fuzz");
    w.write("aggregation", R"({"command":1,"aggregation_period_ms":1000})");
    w.write("aggregation_fraction", R"({"command":1,"aggregation_period_ms":0.5})");
    w.write("sweep", R"({"command":2,"sweep_from":2400,"sweep_to":2500,)"
                     R"("duration_seconds":10,"dwell_time_ms":500})");
    w.write("sweep_defaults", R"({"command":2,"sweep_from":5170,"sweep_to":5170})");
    w.write("sweep_strings", R"({"command":2,"sweep_from":"2400","sweep_to":2500})");
    w.write("sweep_huge", R"({"command":2,"sweep_from":-1e300,"sweep_to":1e300,)"
                          R"("duration_seconds":-5,"dwell_time_ms":-1})");
    w.write("cancel_twice", R"({"command":3}{"command":3})");
    w.write("unknown", R"({"command":4,"Command":1})");
    w.write("not_json", R"({"command":1,"aggregation_period_ms":)");
    w.write("array", R"([1,2,{"command":3}])");
}

void json_seeds(const char *root)
{
    SeedWriter w(root, "sample_json_fuzz");
    auto sample = [](uint16_t bins, std::initializer_list<float> values) {
        std::vector<uint8_t> out{1};
        for (int v : {5180, 80, -95, 42})
            le16(out, static_cast<uint16_t>(v));
        for (int i = 0; i < 8; ++i)
            out.push_back(static_cast<uint8_t>(0x11 * i));
        for (int i = 0; i < 4; ++i)
            out.push_back(3);
        le16(out, bins);
        for (float f : values) {
            uint8_t b[4];
            memcpy(b, &f, 4);
            out.insert(out.end(), b, b + 4);
        }
        return out;
    };
    w.write("dbm", sample(4, {-87.25f, -109.0f, -0.004f, 12.5f}));
    w.write("magnitudes", sample(64, {0.0f, 1.0f, 255.0f, 17.0f}));
    w.write("huge", sample(8, {FLT_MAX, -FLT_MAX, 1e26f, -1e25f}));
    w.write("not_finite", sample(4, {NAN, -INFINITY, INFINITY, -NAN}));
    w.write("bins_past_512", sample(1000, {-50.0f}));
}

void bin_text_seeds(const char *root)
{
    SeedWriter w(root, "bin_text_fuzz");
    auto floats = [](std::initializer_list<float> values) {
        std::vector<uint8_t> out;
        for (float f : values) {
            uint8_t b[4];
            memcpy(b, &f, 4);
            out.insert(out.end(), b, b + 4);
        }
        return out;
    };
    w.write("dbm", floats({-109.0f, -87.25f, -0.005f, 0.005f, 2.675f, 999.995f, -0.0f}));
    w.write("fast_path_edge", floats({4.5e13f, 4.503599e13f, 4.5036e13f, 1e15f}));
    w.write("huge", floats({1e25f, -1e25f, 1e26f, -1e26f, FLT_MAX, -FLT_MAX}));
    w.write("tiny", floats({FLT_MIN, -FLT_MIN, 1e-45f, 1e-10f}));
    w.write("not_finite", floats({NAN, -NAN, INFINITY, -INFINITY}));
}

} // namespace

int main(int argc, char **argv)
{
    const char *root = seed_root(argc, argv);
    ath11k_seeds(root);
    ath10k_seeds(root);
    source_seeds(root);
    command_seeds(root);
    json_seeds(root);
    bin_text_seeds(root);
    return 0;
}
