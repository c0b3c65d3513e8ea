// SPDX-License-Identifier: MIT
// Synthetic scenes, sampled at jittered instants like the driver's reports,
// fed straight to the tracker: each source must come out named right, with
// its evidence and its share of reports.
#include "air/air_signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace
{

constexpr float LOW = 2422, STEP = 0.3125f, FLOOR = -95, THRESHOLD = -85;
constexpr size_t BINS = 128; // 2422..2462 MHz
enum Kind : uint8_t { Mains50, Mains60, Bursty, Steady, Hop };

struct Source {
    Kind kind;
    float mhz, width, dbm, duty, burst_ms;
};
struct Expect {
    AirClass cls;
    float period_ms; // 0: none expected
    uint32_t min_hops;
    float burst_ms; // 0: not checked
};
struct Row {
    const char *name;
    Source sources[2];
    Expect expect[2];
};

uint64_t mix(uint64_t x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    return x ^ (x >> 29);
}
double unit(uint64_t x)
{
    return static_cast<double>(mix(x) % 1000000) / 1e6;
}

// Whether the source is on at t (µs), and where its centre is.
bool on_at(const Source &s, size_t idx, double t, float &centre)
{
    centre = s.mhz;
    double cycle = s.kind == Mains60 ? 1e6 / 60 : 20000;
    if (s.kind == Mains50 || s.kind == Mains60) {
        double phase = std::fmod(t, cycle) / cycle; // magnetron sweeps while on
        centre = s.mhz + 15 * static_cast<float>(4 * phase - 1);
        return phase < 0.5;
    }
    if (s.kind == Hop) {
        auto slot = static_cast<uint64_t>(t / 625);
        centre = LOW + 1.5f + static_cast<float>(mix(slot) % 36);
        return unit(slot + 7) < s.duty;
    }
    auto slot = static_cast<uint64_t>(t / (s.burst_ms * 1000));
    return s.kind == Steady || unit(slot * 31 + idx) < s.duty;
}

void make_segments(AirReport &r, const float *dbm)
{
    r.segment_count = 0;
    for (size_t j = 0; j < BINS && r.segment_count < AIR_MAX_SEGMENTS; ++j) {
        if (dbm[j] < THRESHOLD)
            continue;
        AirSegment &s = r.segments[r.segment_count++];
        s = {static_cast<uint16_t>(j), static_cast<uint16_t>(j), dbm[j], static_cast<uint16_t>(j)};
        for (; j + 1 < BINS && dbm[j + 1] >= THRESHOLD; ++j) {
            s.last_bin = static_cast<uint16_t>(j + 1);
            if (dbm[j + 1] > s.peak_dbm)
                s.peak_dbm = dbm[j + 1], s.peak_bin = s.last_bin;
        }
    }
}

void run(const Row &row, AirTracker &tracker, uint64_t on_count[2], uint64_t &reports)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> jitter(-2, 2);
    std::uniform_real_distribution<double> u(0, 1);
    static float dbm[BINS];
    static uint32_t busy[BINS];
    uint32_t next_id = 1;
    air_tracker_reset(tracker);
    reports = 2000; // ten seconds at 200 reports/s
    for (uint64_t k = 0; k < reports; ++k) {
        double t = (static_cast<double>(k) + u(rng)) * 5000;
        for (float &v : dbm)
            v = FLOOR + jitter(rng);
        for (size_t i = 0; i < 2; ++i) {
            const Source &s = row.sources[i];
            float centre = 0;
            if (s.width == 0 || !on_at(s, i, t, centre))
                continue;
            bool shown = false; // on inside the capture
            for (size_t j = 0; j < BINS; ++j) {
                float f = LOW + (static_cast<float>(j) + 0.5f) * STEP;
                if (std::fabs(f - centre) <= s.width / 2)
                    dbm[j] = s.dbm + jitter(rng) / 2, shown = true;
            }
            on_count[i] += shown;
        }
        AirReport r = {};
        r.time_us = static_cast<uint64_t>(t);
        r.timestamp = r.time_us;
        r.freq_mhz = 2442, r.bandwidth_mhz = 40, r.bin_count = BINS;
        r.low_mhz = LOW, r.mhz_per_bin = STEP, r.dbm = dbm;
        r.noise_floor_dbm = FLOOR, r.threshold_dbm = THRESHOLD;
        r.busy = busy, r.reports = k + 1;
        make_segments(r, dbm);
        air_tracker_update(tracker, r, next_id);
    }
}

const Row ROWS[] = {
    {"microwave 50 Hz", {{Mains50, 2445, 8, -60, 0.5f, 0}}, {{AirClass::Microwave, 20, 0, 0}}},
    {"microwave 60 Hz, weak",
     {{Mains60, 2445, 8, -80, 0.5f, 0}},
     {{AirClass::Microwave, 16.7f, 0, 0}}},
    {"wifi channel 6", {{Bursty, 2437, 16.5f, -50, 0.4f, 2}}, {{AirClass::Wifi, 0, 0, 0}}},
    {"wifi channel 6, weak", {{Bursty, 2437, 16.5f, -80, 0.3f, 1}}, {{AirClass::Wifi, 0, 0, 0}}},
    {"video sender", {{Steady, 2450, 10, -70, 1, 0}}, {{AirClass::Continuous, 0, 0, 0}}},
    // Bursts in 8 ms slots at duty 0.3 last 8/0.7 ms on average.
    {"zigbee", {{Bursty, 2440, 2, -60, 0.3f, 8}}, {{AirClass::Narrowband, 0, 0, 11.4f}}},
    {"bluetooth", {{Hop, 0, 1, -50, 0.5f, 0}}, {{AirClass::Hopper, 0, 20, 0}}},
    {"wifi and zigbee",
     {{Bursty, 2432, 16.5f, -55, 0.5f, 2}, {Bursty, 2455, 3, -65, 0.2f, 5}},
     {{AirClass::Wifi, 0, 0, 0}, {AirClass::Narrowband, 0, 0, 0}}},
    // Rarely on together: when they are, they are one busy run.
    {"wifi on overlapping channels 6 and 8",
     {{Bursty, 2437, 16.5f, -55, 0.1f, 2}, {Bursty, 2447, 16.5f, -70, 0.1f, 3}},
     {{AirClass::Wifi, 0, 0, 0}, {AirClass::Wifi, 0, 0, 0}}},
    {"oven beside channel 5",
     {{Bursty, 2432, 16.5f, -60, 0.2f, 2}, {Mains50, 2453, 8, -55, 0.5f, 0}},
     {{AirClass::Wifi, 0, 0, 0}, {AirClass::Microwave, 20, 0, 0}}},
    // The zigbee is young when the hopper's blips gather into a family.
    {"bluetooth and zigbee",
     {{Hop, 0, 1, -50, 0.5f, 0}, {Bursty, 2459, 2, -60, 0.3f, 4}},
     {{AirClass::Hopper, 0, 20, 0}, {AirClass::Narrowband, 0, 0, 0}}},
    {"oven and video sender",
     {{Mains50, 2435, 8, -50, 0.5f, 0}, {Steady, 2459, 4, -75, 1, 0}},
     {{AirClass::Microwave, 20, 0, 0}, {AirClass::Continuous, 0, 0, 0}}},
};

TEST(AirTracker, NamesEachSourceWithItsEvidenceAndDuty)
{
    static AirTracker tracker;
    for (const Row &row : ROWS) {
        SCOPED_TRACE(row.name);
        uint64_t on_count[2] = {}, reports = 0;
        run(row, tracker, on_count, reports);
        for (size_t i = 0; i < 2; ++i) {
            if (row.sources[i].width == 0)
                continue;
            const Expect &e = row.expect[i];
            const AirSignal *found = nullptr; // a hopper's family, else the nearest signal
            for (const AirSignal &s : tracker.signals) {
                float miss = std::fabs(s.mhz - row.sources[i].mhz);
                bool near = row.sources[i].kind == Hop ? s.hops > 0 : miss <= s.width_mhz / 2 + 2;
                if (s.id && near && (!found || miss < std::fabs(found->mhz - row.sources[i].mhz)))
                    found = &s;
            }
            ASSERT_NE(found, nullptr) << "source " << i;
            EXPECT_STREQ(air_class_name(found->cls), air_class_name(e.cls)) << "source " << i;
            EXPECT_NEAR(found->period_ms, e.period_ms, 1.0) << "source " << i;
            EXPECT_GE(found->hops, e.min_hops) << "source " << i;
            if (e.burst_ms > 0) {
                EXPECT_NEAR(found->burst_ms, e.burst_ms, e.burst_ms / 4) << "source " << i;
            }
            // Its share of all reports, against how often it really was on.
            double truth = static_cast<double>(on_count[i]) / static_cast<double>(reports);
            double duty = static_cast<double>(found->on_reports) / static_cast<double>(reports);
            EXPECT_NEAR(duty, truth, 0.03) << "source " << i;
        }
    }
}

} // namespace
