// SPDX-License-Identifier: MIT
// Slows the guessing of a token: a peer that keeps presenting wrong ones is
// answered 429 for a while that doubles with each further failure, and its
// token is not even looked at meanwhile. The wait is kept as a deadline, so
// the one event loop never sleeps on it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

constexpr size_t THROTTLE_PEERS = 64;          // the oldest is forgotten first
constexpr unsigned THROTTLE_FREE_FAILURES = 3; // a typo or two costs nothing
constexpr uint64_t THROTTLE_FIRST_WAIT_MS = 1000;
constexpr uint64_t THROTTLE_MAX_WAIT_MS = 60000;
constexpr uint64_t THROTTLE_FORGET_MS = uint64_t{15} * 60000; // quiet this long: a clean slate
constexpr size_t THROTTLE_PEER_MAX = 48;                      // an IPv6 address as text fits

struct ThrottleEntry {
    char peer[THROTTLE_PEER_MAX]; // "" : free
    unsigned failures;
    uint64_t last_ms; // the last failure
    uint64_t until_ms;
};

struct AuthThrottle {
    std::array<ThrottleEntry, THROTTLE_PEERS> entries;
};

// Milliseconds before peer may try again; 0: at once. now_ms: a monotonic clock.
uint64_t throttle_wait_ms(const AuthThrottle &t, std::string_view peer, uint64_t now_ms);
void throttle_failed(AuthThrottle &t, std::string_view peer, uint64_t now_ms);
void throttle_succeeded(AuthThrottle &t, std::string_view peer);

// The monotonic clock the servers pass.
uint64_t throttle_clock_ms();
