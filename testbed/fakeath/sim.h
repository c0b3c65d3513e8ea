// SPDX-License-Identifier: MIT
// The state of one simulated spectral driver: the control files, the queue
// of reports waiting in spectral_scan0, the generator and the fault
// switches. No I/O here: the FUSE layer and the tests drive it, the former
// under one lock.
#pragma once

#include "emitter.h"
#include "report_gen.h"
#include "scene.h"
#include "signal_model.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fakeath
{

enum class Driver : uint8_t { Ath11k, Ath10k };

constexpr size_t MAX_REFUSED_WORDS = 8;
constexpr size_t MAX_REPORT_TYPES = 2;
// The driver's relay buffer is finite; reports past this are dropped and
// counted, as a real queue overflows when nobody reads.
constexpr size_t QUEUE_LIMIT = 8u << 20;

struct Faults {
    const char *refuse_at_close[MAX_REFUSED_WORDS] = {}; // words refused at close
    size_t refuse_count = 0;
    long fail_reads = 0;         // reads of spectral_scan0 that fail (EIO); -1: all
    uint64_t pause_after_ms = 0; // of triggered time, then...
    uint64_t pause_for_ms = 0;   // ...no reports for this long (0: no pause)
    unsigned split_every = 0;    // every Nth non-empty read ends inside a report
    unsigned invalid_every = 0;  // every Nth generated report has a bad length
    unsigned filler_bytes = 0;   // zero bytes queued before each report
    unsigned burst = 0;          // reports queued at once on the first trigger
};

struct SimConfig {
    Driver driver = Driver::Ath11k;
    double rate_hz = 200;                       // reports per second while triggered
    uint8_t types[MAX_REPORT_TYPES] = {4, 100}; // ath11k types, alternated
    size_t type_count = 2;
    SignalModel model;
    // With emitters, every report is drawn afresh from the scene at its own
    // instant of the virtual clock instead of from the pool.
    std::vector<Emitter> emitters;
    Faults faults;
};

enum class CtlState : uint8_t { Disabled, Background, Triggered };

struct Channel {
    uint16_t centre_mhz = 2437;
    uint16_t width_mhz = 20;
};

struct Sim {
    SimConfig cfg;
    // Control files.
    CtlState state = CtlState::Disabled;
    bool armed = false;       // background or agile written since the last disable
    int agile_mhz = 0;        // last "agile" word, 0 when none since disable
    long spectral_bins = 128; // last number written (reports carry half)
    long chan_bw = 0;
    long freq_shift = 0;
    Channel channel; // what the phy is tuned to (nl80211 or fixed)
    // spectral_scan0.
    std::vector<uint8_t> queue;        // bytes not yet read
    std::vector<size_t> report_starts; // offsets into queue where reports begin
    uint64_t dropped = 0;
    uint64_t lost_ms = 0; // backlog given up by sim_tick_live
    // Generator.
    uint64_t triggered_ms = 0; // triggered time accumulated
    uint64_t last_tick_ms = 0;
    double owed = 0; // fractional reports carried between ticks
    uint64_t generated = 0;
    // Spectra drawn for the current tuning, reused in turn: drawing one
    // costs hundreds of transcendental calls, too many for an emulated CPU
    // at a few hundred 512-bin reports a second.
    std::vector<Magnitudes> pool;
    uint16_t pool_freq_mhz = 0, pool_width_mhz = 0;
    size_t pool_bins = 0, pool_next = 0;
    // The emitters' scene, set up at the first report; reports taken so far
    // number its virtual clock (report k at (k + u)/rate).
    Scene scene;
    bool scene_ready = false;
    uint64_t scene_next = 0;
    uint64_t reads = 0, nonempty_reads = 0;
    bool burst_done = false;
    // Replay: whole reports from a recorded file, served in order.
    std::vector<std::vector<uint8_t>> replay;
    size_t replay_next = 0;
    bool replay_loop = false;
    // Every word and number written, as "<file> <text>[ refused]".
    std::vector<std::string> log;
};

// Result of a write or close on a control file: 0 or a negative errno.
int sim_write_ctl(Sim &s, const std::string &text);
// Applies what was written on one open file at close time; refusals
// configured as faults surface here.
int sim_close_ctl(Sim &s, const std::string &text);
int sim_write_number(Sim &s, const char *file, const std::string &text);
std::string sim_read_number(const Sim &s, const char *file);

// Advances the generator to now_ms, queueing the reports due.
void sim_tick(Sim &s, uint64_t now_ms);
// The wall clock's tick: owes at most MAX_CATCH_UP_MS of reports. On a
// machine too slow to generate in real time (a loaded VM under TCG) the
// older backlog is given up, as a radio loses what it cannot queue,
// instead of each tick taking longer than the last under the lock until
// the files stop answering.
constexpr uint64_t MAX_CATCH_UP_MS = 100;
void sim_tick_live(Sim &s, uint64_t now_ms);
constexpr size_t POOL_SPECTRA = 32;
// Queues one generated report now (also used by the burst fault).
void sim_queue_report(Sim &s);
// Removes and returns up to size bytes from the queue (consumption
// semantics: what is read is gone). Returns the count or a negative errno.
long sim_read_samples(Sim &s, uint8_t *buf, size_t size);

// Bins per report: half the last number written to spectral_bins.
size_t sim_bin_count(const Sim &s);
// Centre frequency of the reports: the agile word's while one is in force.
uint16_t sim_report_freq(const Sim &s);

// Splits a file of raw reports (3-byte type/length headers) into reports.
// Returns -1 when the bytes do not end on a report boundary.
int sim_load_replay(Sim &s, const std::vector<uint8_t> &bytes);

} // namespace fakeath
