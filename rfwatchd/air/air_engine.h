// SPDX-License-Identifier: MIT
// The air analysis engine: what the air is doing, worked out from every
// decoded report (not the merged lines, which lose time and occupancy).
// No I/O and no allocation per report: the daemon allocates one engine and
// one cursor per client that asked for air lines, and feeds every sample.
//
// Time is the reports' own (their timestamps, in µs), never the loop's, so
// the figures do not depend on how long a loop turn takes.
#pragma once

#include "air/air_report.h"
#include "air/air_signal.h"
#include "base/function_ref.h"
#include "capture/spectral_sample.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Centre frequencies the engine keeps state for at once: every 20 MHz
// channel of the 2.4 and 5 GHz bands a sweep may visit. A new one past
// this replaces the one seen longest ago.
constexpr size_t AIR_MAX_FREQUENCIES = 40;
// 20 MHz channels one capture can cover: 2.4 GHz channels lie 5 MHz apart,
// so 80 MHz there holds 13 of them and 160 MHz all 14; 5 and 6 GHz hold 8.
constexpr size_t AIR_MAX_CHANNELS = 14;
// Frequencies 2.4 to 7.1 GHz fall on distinct hints at this size.
constexpr size_t AIR_SLOT_HINTS = 8192;
constexpr float AIR_DEFAULT_MARGIN_DB = 10.0f;

enum class AirDriver : uint8_t { Ath11k, Ath10k };

struct AirSettings {
    float margin_db = AIR_DEFAULT_MARGIN_DB; // busy threshold above the noise floor
};

// One 20 MHz channel a capture covers, with cumulative counters.
struct AirChannel {
    uint16_t number;
    uint16_t mhz;
    uint16_t first_bin, last_bin; // the bins inside it
    uint64_t occupied;            // reports in which it was occupied
};

// State for one centre frequency (and bandwidth and bin count: a change of
// either starts it afresh).
struct AirFrequency {
    uint16_t freq_mhz; // 0: slot free
    uint16_t bandwidth_mhz;
    uint16_t bin_count;
    uint32_t generation;   // changes whenever the slot starts afresh
    uint64_t reports;      // cumulative
    uint64_t last_seen_us; // unwrapped report time
    uint64_t last_timestamp; // the latest report's own timestamp, driver units
    float noise_floor_dbm;   // tracked over time
    uint32_t busy[MAX_SPECTRAL_BINS]; // per bin: reports at or above the threshold
    AirChannel channels[AIR_MAX_CHANNELS];
    uint8_t channel_count;
    AirTracker tracker; // the signals seen here
};

struct AirEngine {
    AirSettings settings;
    AirDriver driver;
    AirClock clock; // unwraps the reports' timestamps
    AirFrequency frequencies[AIR_MAX_FREQUENCIES];
    float dbm[MAX_SPECTRAL_BINS]; // scratch: the report being taken, in dBm
    uint8_t busy_now[MAX_SPECTRAL_BINS]; // scratch: 1 where the report's bin is busy
    uint64_t busy_bits[MAX_SPECTRAL_BINS / 64]; // scratch: the same as bits
    // The slot a frequency had last (by freq_mhz % AIR_SLOT_HINTS), checked
    // before use: a report finds its slot without a search.
    uint8_t slot_hint[AIR_SLOT_HINTS];
    AirReport report;             // scratch: what the tracker is handed
    uint32_t next_signal_id;
};

// nullptr when there is no memory. The engine is large (a few hundred KiB): one
// per daemon, made when the first client asks for air lines.
AirEngine *air_engine_new(const AirSettings &settings, AirDriver driver);
void air_engine_free(AirEngine *engine);
// Takes one decoded report: converts it to dBm (ath10k), tracks the noise
// floor, counts busy bins and occupied channels, and hands the busy
// segments to the frequency's tracker.
void air_engine_add(AirEngine &engine, const SpectralSample &sample);

// ath10k bins are raw magnitudes; this is the rule that turns them into
// dBm with the report's noise and rssi (air_dbm.cpp says which and why).
void air_magnitudes_to_dbm(const SpectralSample &sample, float *dbm_out);

// What one client has already been told: the engine's counters as they
// stood when its current window began.
struct AirCursorSignal {
    uint32_t id;
    uint64_t on_reports;
};
struct AirCursorFrequency {
    uint32_t generation;
    uint64_t reports;
    uint64_t occupied[AIR_MAX_CHANNELS];
    AirCursorSignal signals[AIR_MAX_SIGNALS];
};
struct AirCursor {
    AirCursorFrequency frequencies[AIR_MAX_FREQUENCIES];
};

// nullptr when there is no memory; begins a window now.
AirCursor *air_cursor_new(const AirEngine &engine);
void air_cursor_free(AirCursor *cursor);
// Starts the cursor's next window at the engine's counters as they stand.
void air_cursor_restart(AirCursor &cursor, const AirEngine &engine);

// Writes one air line (JSON, no line feed) for every frequency that had
// reports since the cursor's window began, calling line for each, then
// restarts the cursor. window_ms is the client's period, written as
// "window_ms". Returns the number of lines.
size_t air_write_lines(const AirEngine &engine, AirCursor &cursor, uint32_t window_ms,
                       FunctionRef<void(std::string_view line)> line);
