#include "commands.h"

#include "clients.h"
#include "command_parse.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace
{

constexpr size_t COMMAND_READ_SIZE = 4096;

void set_aggregation(Client *client, const ParsedCommand &cmd)
{
    printf("Aggregation for client %d changed to %d ms\n", client->socket, cmd.period_ms);
    // The running windows keep their start, so the new period applies now.
    for (SampleAggregate &a : client->aggregates)
        a.period_ms = static_cast<uint32_t>(cmd.period_ms);
}

void start_client_sweep(Server &server, Client *client, const ParsedCommand &cmd)
{
    printf("Sweep for client %d: %d-%d MHz, duration=%d s, dwell=%d ms\n", client->socket,
           cmd.from_mhz, cmd.to_mhz, cmd.duration_s, cmd.dwell_ms);
    ConfigError ce = spectral_read_driver_settings(server.spectral, server.saved_settings);
    if (ce != ConfigError::Success) {
        fprintf(stderr, "Failed to start sweep: %s\n", config_error_message(ce));
        return;
    }
    ce = spectral_write_driver_settings(server.spectral, server.sweep_settings);
    if (ce != ConfigError::Success) {
        fprintf(stderr, "Error setting up driver for sweep: %s\n", config_error_message(ce));
        return;
    }
    SweepRequest req{};
    req.type = SweepType::Active;
    req.from_mhz = static_cast<uint32_t>(cmd.from_mhz);
    req.to_mhz = static_cast<uint32_t>(cmd.to_mhz);
    req.whole_band = 0;
    req.step_mhz = 0;
    // A negative duration becomes a count beyond MAX_SWEEP_DURATION_S,
    // which the sweep engine refuses.
    req.duration_s = static_cast<uint32_t>(cmd.duration_s);
    req.dwell_ms = static_cast<uint32_t>(cmd.dwell_ms);
    RadioError re = start_sweep(server.radio, req);
    if (re != RadioError::Success) {
        spectral_write_driver_settings(server.spectral, server.saved_settings);
        fprintf(stderr, "Failed to start sweep: %s\n", radio_error_message(re));
    }
}

void cancel_client_sweep(Server &server, Client *client)
{
    printf("Sweep cancellation for client %d\n", client->socket);
    cancel_sweep(server.radio);
    ConfigError ce = spectral_write_driver_settings(server.spectral, server.saved_settings);
    if (ce != ConfigError::Success)
        fprintf(stderr, "Erorr cancelling sweep: %s\n", config_error_message(ce));
}

} // namespace

void handle_client_command(Server &server, Client *client)
{
    // One more byte than is read, so the text can be printed as a string.
    char buf[COMMAND_READ_SIZE + 1];
    ssize_t n = read(client->socket, buf, COMMAND_READ_SIZE);
    if (n == 0) {
        fprintf(stderr, "Client disconnected (EOF)\n");
        drop_client(server, client);
        return;
    }
    if (n < 0) {
        // The socket is non-blocking: nothing there after all is no error.
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return;
        fprintf(stderr, "Client %d connection error: %s\n", client->socket, strerror(errno));
        drop_client(server, client);
        return;
    }
    buf[n] = '\0';
    ParsedCommand cmd;
    switch (parse_client_command(buf, static_cast<size_t>(n), cmd)) {
    case COMMAND_NOT_JSON:
        fprintf(stderr, "Command parse error: %s\n", cmd.error_at);
        return;
    case COMMAND_IGNORED:
        return;
    case COMMAND_OK:
        break;
    }
    switch (cmd.command) {
    case CMD_SET_AGGREGATION:
        set_aggregation(client, cmd);
        break;
    case CMD_START_SWEEP:
        start_client_sweep(server, client, cmd);
        break;
    case CMD_CANCEL_SWEEP:
        cancel_client_sweep(server, client);
        break;
    }
}
