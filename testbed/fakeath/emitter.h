// SPDX-License-Identifier: MIT
// Emitters with time structure: the interferers an access point meets
// (Wi-Fi bursts, a microwave oven, a Bluetooth hopper, 802.15.4, a video
// sender, a radar), each on or off and somewhere in frequency at a time t
// of the virtual clock. Everything follows from the emitter's seed, so a
// scene replays identically and its truth can be checked.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fakeath
{

enum class EmitterKind : uint8_t { Wifi, Microwave, Hopper, Narrowband, Continuous, Pulsed };

const char *emitter_kind_name(EmitterKind kind);

struct Emitter {
    EmitterKind kind = EmitterKind::Continuous;
    double mhz = 0;         // centre (hopper: middle of from..to)
    double dbm = -60;       // level per bin while on, as the spectrum shows it
    double width_mhz = 10;  // occupied width (wifi: the channel width 20/40/80)
    double duty = 1;        // on-fraction (bursty kinds, hopper, continuous)
    double burst_ms = 2;    // mean on-burst (wifi, narrowband)
    double mains_hz = 50;   // microwave
    double from_mhz = 2402; // hopper range, whole MHz positions
    double to_mhz = 2480;
    double hop_us = 625;  // hopper dwell
    double pulse_us = 50; // pulsed
    double pri_us = 1000;
    uint64_t seed = 1;
    // The renewal process of the bursty kinds, advanced lazily forward; a
    // step back in time starts it again from 0 (same seed, same history).
    bool burst_on = false;
    double switch_us = -1; // time of the next switch; < 0: not started
    double last_us = 0;    // the latest time asked
    uint64_t rng = 0;
};

// What an emitter does at one instant: whether it transmits, and where.
struct EmitterState {
    bool on = false;
    double centre_mhz = 0;
    double half_top_mhz = 0; // half the width at full level
};

// Parses "KIND,key=value,..." (kinds: wifi microwave hopper narrowband
// continuous pulsed; keys: mhz dbm width duty burst_ms mains from to hop_us
// pulse_us pri_us, each only where it applies). Returns 0, or -1 with the
// reason, naming the bad kind, key or value, in err.
int emitter_parse(Emitter &e, const char *text, char *err, size_t err_len);

// The emitter at time t_us of the virtual clock. Calls with t
// non-decreasing cost O(switches passed); the result depends on t only.
EmitterState emitter_at(Emitter &e, double t_us);

// The frequencies the emitter can ever occupy at full level (a microwave's
// sweep, a hopper's range), for deciding whether a capture can see it.
void emitter_span(const Emitter &e, double &low_mhz, double &high_mhz);

} // namespace fakeath
