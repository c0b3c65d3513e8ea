#include "core/commands.h"

#include "base/log.h"
#include "core/client.h"
#include "core/client_sweep.h"
#include "core/command_parse.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace
{

constexpr size_t COMMAND_READ_SIZE = 4096;

void set_aggregation(Client &client, const ParsedCommand &cmd)
{
    printf("Aggregation for client %d changed to %d ms\n", client.socket, cmd.period_ms);
    // The running windows keep their start, so the new period applies now.
    for (SampleAggregate &a : client.aggregates)
        a.period_ms = static_cast<uint32_t>(cmd.period_ms);
}

} // namespace

ClientVerdict handle_client_command(Server &server, Client &client)
{
    // One more byte than is read, so the text can be printed as a string.
    char buf[COMMAND_READ_SIZE + 1];
    ssize_t n = read(client.socket, buf, COMMAND_READ_SIZE);
    // End of file is a half-close: the client may still read its stream.
    // A client that has closed altogether is seen by the poll as hung up.
    if (n == 0)
        return ClientVerdict::StopReading;
    if (n < 0) {
        // The socket is non-blocking: nothing there after all is no error.
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return ClientVerdict::Keep;
        log_text("Client %d connection error: %s\n", client.socket, strerror(errno));
        return ClientVerdict::Drop;
    }
    buf[n] = '\0';
    ParsedCommand cmd;
    switch (parse_client_command(buf, static_cast<size_t>(n), cmd)) {
    case COMMAND_NOT_JSON: {
        static char shown[escaped_size(COMMAND_READ_SIZE)];
        log_text(
            "Command parse error: %s\n",
            escape_control({cmd.error_at, static_cast<size_t>(buf + n - cmd.error_at)}, shown));
        return ClientVerdict::Keep;
    }
    case COMMAND_IGNORED:
        return ClientVerdict::Keep;
    case COMMAND_OK:
        break;
    }
    switch (cmd.command) {
    case CMD_SET_AGGREGATION:
        set_aggregation(client, cmd);
        break;
    case CMD_START_SWEEP:
        client_sweep_start(server, client, cmd);
        break;
    case CMD_CANCEL_SWEEP:
        client_sweep_cancel(server, client);
        break;
    }
    return ClientVerdict::Keep;
}
