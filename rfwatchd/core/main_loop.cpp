// SPDX-License-Identifier: MIT
#include "core/main_loop.h"

#include "base/clock.h"
#include "core/clients.h"
#include "core/samples.h"
#include "core/server.h"
#include "core/sweep_timer.h"

#include <algorithm>

int main_loop_wait_ms(Server &server, uint64_t now)
{
    uint64_t due = next_sample_read_ms(server, now);
    due = std::min(due, next_sweep_timer_ms(server, now));
    due = std::min(due, next_flush_ms(server));
    if (server.accept_resume_ms > now)
        due = std::min(due, server.accept_resume_ms);
    return due <= now ? 0 : static_cast<int>(std::min<uint64_t>(due - now, 1000));
}

int main_loop_pass(Server &server)
{
    poll_clients(server, main_loop_wait_ms(server, monotonic_ms()));
    sweep_timer_step(server);
    if (handle_samples(server) != 0)
        return -1;
    flush_clients(server);
    return 0;
}
