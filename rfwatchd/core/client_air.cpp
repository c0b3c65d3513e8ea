// SPDX-License-Identifier: MIT
#include "core/client_air.h"

#include "base/clock.h"
#include "base/log.h"
#include "core/client.h"
#include "core/client_writer.h"
#include "core/server.h"

#include <cstdio>
#include <cstring>

namespace
{

struct DriverName {
    const char *name;
    AirDriver driver;
};
// The names the source's drivers carry (scan_driver.cpp); ath10k's bins are
// magnitudes that the engine turns into dBm, ath11k's are dBm already.
constexpr DriverName driver_names[] = {{"ath11k", AirDriver::Ath11k},
                                       {"ath10k", AirDriver::Ath10k}};

AirDriver driver_of(const Server &server)
{
    const ScanDriver *d = server.source.driver;
    for (const DriverName &n : driver_names)
        if (d != nullptr && strcmp(d->name, n.name) == 0)
            return n.driver;
    return AirDriver::Ath11k;
}

// Releases the client's cursor; the caller says whether to print.
void turn_off(Server &server, ClientAir &air)
{
    if (air.cursor == nullptr)
        return;
    air_cursor_free(air.cursor);
    air.cursor = nullptr;
    air.period_ms = 0;
    server.air.clients_on--;
}

} // namespace

void client_air_command(Server &server, Client &client, int32_t period_ms)
{
    ClientAir &air = client.air;
    if (period_ms <= 0) {
        turn_off(server, air);
        printf("Air lines for client %d stopped\n", client.socket);
        return;
    }
    if (server.air.engine == nullptr) {
        AirSettings settings;
        settings.margin_db = server.air.margin_db;
        server.air.engine = air_engine_new(settings, driver_of(server));
        if (server.air.engine == nullptr) {
            log_text("No memory for the air lines of client %d\n", client.socket);
            return;
        }
    }
    if (air.cursor == nullptr) {
        air.cursor = air_cursor_new(*server.air.engine);
        if (air.cursor == nullptr) {
            log_text("No memory for the air lines of client %d\n", client.socket);
            return;
        }
        server.air.clients_on++;
    } else {
        air_cursor_restart(*air.cursor, *server.air.engine);
    }
    air.period_ms = static_cast<uint32_t>(period_ms);
    air.next_due_ms = monotonic_ms() + air.period_ms;
    printf("Air lines for client %d every %d ms\n", client.socket, period_ms);
}

void client_air_release(Server &server, Client &client)
{
    turn_off(server, client.air);
}

void client_air_feed(Server &server, const SpectralSample &sample)
{
    if (server.air.clients_on > 0)
        air_engine_add(*server.air.engine, sample);
}

uint64_t client_air_due(const Client &client)
{
    return client.air.cursor != nullptr ? client.air.next_due_ms : UINT64_MAX;
}

bool client_air_flush(Server &server, Client &client, uint64_t now, uint32_t *wait_budget_ms)
{
    ClientAir &air = client.air;
    if (air.cursor == nullptr || now < air.next_due_ms)
        return true;
    // Due times keep to the grid the command set, so the windows do not
    // drift by a loop turn each; periods missed while the loop was held up
    // are skipped, not sent as a burst.
    air.next_due_ms += air.period_ms;
    if (air.next_due_ms <= now)
        air.next_due_ms += (now - air.next_due_ms) / air.period_ms * air.period_ms + air.period_ms;
    bool kept = true;
    auto line = [&](std::string_view text) {
        if (!kept)
            return; // given up: the rest of the window is not written
        int err = 0;
        LineWrite r = write_client_line(client.socket, text, wait_budget_ms, &err);
        kept = client_line_kept(r, client.socket, err);
    };
    air_write_lines(*server.air.engine, *air.cursor, air.period_ms, line);
    return kept;
}

void server_air_free(Server &server)
{
    if (server.air.engine != nullptr)
        air_engine_free(server.air.engine);
    server.air.engine = nullptr;
    server.air.clients_on = 0;
}
