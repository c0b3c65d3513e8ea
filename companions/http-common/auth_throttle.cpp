// SPDX-License-Identifier: MIT
#include "auth_throttle.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace
{

std::string_view key_of(std::string_view peer)
{
    return peer.substr(0, THROTTLE_PEER_MAX - 1);
}

const ThrottleEntry *find(const AuthThrottle &t, std::string_view peer)
{
    const std::string_view key = key_of(peer);
    for (const ThrottleEntry &e : t.entries)
        if (e.peer[0] != '\0' && key == e.peer)
            return &e;
    return nullptr;
}

ThrottleEntry *find(AuthThrottle &t, std::string_view peer)
{
    return const_cast<ThrottleEntry *>(find(static_cast<const AuthThrottle &>(t), peer));
}

} // namespace

uint64_t throttle_wait_ms(const AuthThrottle &t, std::string_view peer, uint64_t now_ms)
{
    const ThrottleEntry *e = find(t, peer);
    return e != nullptr && e->until_ms > now_ms ? e->until_ms - now_ms : 0;
}

void throttle_failed(AuthThrottle &t, std::string_view peer, uint64_t now_ms)
{
    ThrottleEntry *e = find(t, peer);
    if (e == nullptr) {
        // A free entry, else the one whose last failure is oldest.
        e = &*std::ranges::min_element(t.entries,
                                       [](const ThrottleEntry &a, const ThrottleEntry &b) {
                                           return (a.peer[0] != '\0' ? a.last_ms + 1 : 0) <
                                                  (b.peer[0] != '\0' ? b.last_ms + 1 : 0);
                                       });
        *e = ThrottleEntry{};
        const std::string_view key = key_of(peer);
        memcpy(e->peer, key.data(), key.size());
    }
    if (now_ms - e->last_ms > THROTTLE_FORGET_MS)
        e->failures = 0;
    e->failures++;
    e->last_ms = now_ms;
    if (e->failures > THROTTLE_FREE_FAILURES) {
        const unsigned doublings = std::min(e->failures - THROTTLE_FREE_FAILURES - 1, 16u);
        e->until_ms = now_ms + std::min(THROTTLE_MAX_WAIT_MS, THROTTLE_FIRST_WAIT_MS << doublings);
    }
}

void throttle_succeeded(AuthThrottle &t, std::string_view peer)
{
    if (ThrottleEntry *e = find(t, peer))
        *e = ThrottleEntry{};
}

uint64_t throttle_clock_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}
