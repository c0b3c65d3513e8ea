// SPDX-License-Identifier: MIT
#include "core/commands.h"

#include "base/log.h"
#include "core/client.h"
#include "core/client_air.h"
#include "core/client_sweep.h"
#include "core/command_parse.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// A held rest and the read that completes it: a line of a read's size and
// its line feed.
constexpr size_t LINE_ROOM = COMMAND_READ_SIZE + 1;
static_assert(LINE_ROOM < sizeof(ClientInput::text) && LINE_ROOM <= UINT16_MAX);

void set_aggregation(Client &client, const ParsedCommand &cmd)
{
    printf("Aggregation for client %d changed to %d ms\n", client.socket, cmd.period_ms);
    // The running windows keep their start, so the new period applies now.
    for (SampleAggregate &a : client.aggregates)
        a.period_ms = static_cast<uint32_t>(cmd.period_ms);
}

// One command: the text of a line, or of a whole read without a line feed.
// text[len] must be writable (it is terminated there for the parser).
void run_command(Server &server, Client &client, char *text, size_t len)
{
    text[len] = '\0';
    ParsedCommand cmd;
    switch (parse_client_command(text, len, cmd)) {
    case COMMAND_NOT_JSON: {
        static char shown[escaped_size(LINE_ROOM)];
        log_text(
            "Command parse error: %s\n",
            escape_control({cmd.error_at, static_cast<size_t>(text + len - cmd.error_at)}, shown));
        return;
    }
    case COMMAND_IGNORED:
        if (cmd.command == CMD_AIR) {
            static char shown[escaped_size(LINE_ROOM)];
            log_text("Invalid air period: %s\n", escape_control({text, len}, shown));
        }
        return;
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
    case CMD_AIR:
        client_air_command(server, client, cmd.air_period_ms);
        break;
    }
}

bool blank(const char *text, size_t len)
{
    for (size_t i = 0; i < len; i++)
        if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r')
            return false;
    return true;
}

// The lines of in.text[0, len) are commands. The rest after the last one is
// held when the writer was cut short in it, or when the read filled the
// room (more of it may wait in the socket); otherwise it is a command too.
void run_lines(Server &server, Client &client, size_t len, bool filled)
{
    ClientInput &in = client.input;
    size_t start = 0;
    for (;;) {
        char *lf = static_cast<char *>(memchr(in.text + start, '\n', len - start));
        if (lf == nullptr)
            break;
        const size_t end = static_cast<size_t>(lf - in.text);
        if (!blank(in.text + start, end - start))
            run_command(server, client, in.text + start, end - start);
        start = end + 1;
    }
    const size_t rest = len - start;
    if (blank(in.text + start, rest))
        return;
    if (filled || unfinished_json({in.text + start, rest})) {
        memmove(in.text, in.text + start, rest);
        in.held = static_cast<uint16_t>(rest);
    } else {
        run_command(server, client, in.text + start, rest);
    }
}

} // namespace

ClientVerdict handle_client_command(Server &server, Client &client)
{
    ClientInput &in = client.input;
    const size_t held = in.held;
    const size_t room = held > 0 ? LINE_ROOM - held : COMMAND_READ_SIZE;
    ssize_t n = recv(client.socket, in.text + held, room, 0);
    // End of file is a half-close: the client may still read its stream.
    // A client that has closed altogether is seen by the poll as hung up.
    // A held rest is then its last command.
    if (n == 0) {
        in.held = 0;
        if (held > 0)
            run_command(server, client, in.text, held);
        return ClientVerdict::StopReading;
    }
    if (n < 0) {
        // The socket is non-blocking: nothing there after all is no error.
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return ClientVerdict::Keep;
        log_text("Client %d connection error: %s\n", client.socket, strerror(errno));
        return ClientVerdict::Drop;
    }
    in.held = 0;
    size_t len = held + static_cast<size_t>(n);
    if (held > 0 && starts_whole_object({in.text + held, static_cast<size_t>(n)})) {
        // The rest was garbage, not a cut command: on its own, and the read
        // alone after it. The parser's terminator lands on the read's first
        // byte, put back.
        const char first = in.text[held];
        run_command(server, client, in.text, held);
        in.text[held] = first;
        memmove(in.text, in.text + held, static_cast<size_t>(n));
        len = static_cast<size_t>(n);
    }
    // A read without a line feed is one command, with the rest it completes:
    // a client that writes one command per write sends no line feeds.
    if (memchr(in.text + len - static_cast<size_t>(n), '\n', static_cast<size_t>(n)) == nullptr)
        run_command(server, client, in.text, len);
    else
        run_lines(server, client, len, static_cast<size_t>(n) == room);
    return ClientVerdict::Keep;
}
