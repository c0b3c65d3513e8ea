#include "core/commands.h"

#include "base/log.h"
#include "core/client.h"
#include "core/client_sweep.h"
#include "core/command_parse.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// A framed line with its line feed.
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
        static char shown[escaped_size(COMMAND_READ_SIZE)];
        log_text(
            "Command parse error: %s\n",
            escape_control({cmd.error_at, static_cast<size_t>(text + len - cmd.error_at)}, shown));
        return;
    }
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
        client_sweep_start(server, client, cmd);
        break;
    case CMD_CANCEL_SWEEP:
        client_sweep_cancel(server, client);
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

// The lines of in.text[start, len) are commands; what follows the
// last line feed is kept for the next read.
void run_lines(Server &server, Client &client, size_t start, size_t len)
{
    ClientInput &in = client.input;
    for (;;) {
        char *lf = static_cast<char *>(memchr(in.text + start, '\n', len - start));
        if (lf == nullptr)
            break;
        const size_t end = static_cast<size_t>(lf - in.text);
        if (!blank(in.text + start, end - start))
            run_command(server, client, in.text + start, end - start);
        start = end + 1;
    }
    size_t rest = len - start;
    if (rest == LINE_ROOM) {
        // Said once, as a command that could not be parsed; the line's end
        // starts the next command.
        log_text("Command parse error: a line over %zu bytes, skipped\n", COMMAND_READ_SIZE);
        in.skipping = 1;
        rest = 0;
    }
    memmove(in.text, in.text + start, rest);
    in.held = static_cast<uint16_t>(rest);
}

} // namespace

ClientVerdict handle_client_command(Server &server, Client &client)
{
    ClientInput &in = client.input;
    const size_t room = (in.framed ? LINE_ROOM : COMMAND_READ_SIZE) - in.held;
    ssize_t n = recv(client.socket, in.text + in.held, room, 0);
    // End of file is a half-close: the client may still read its stream.
    // A client that has closed altogether is seen by the poll as hung up.
    // A held tail is the last command, as the tail of a read was before.
    if (n == 0) {
        if (!in.skipping && in.held > 0 && !blank(in.text, in.held))
            run_command(server, client, in.text, in.held);
        in.held = 0;
        return ClientVerdict::StopReading;
    }
    if (n < 0) {
        // The socket is non-blocking: nothing there after all is no error.
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return ClientVerdict::Keep;
        log_text("Client %d connection error: %s\n", client.socket, strerror(errno));
        return ClientVerdict::Drop;
    }
    const size_t len = in.held + static_cast<size_t>(n);
    size_t start = 0;
    if (in.skipping) {
        const char *lf = static_cast<const char *>(memchr(in.text, '\n', len));
        if (lf == nullptr)
            return ClientVerdict::Keep; // still inside the long line
        in.skipping = 0;
        start = static_cast<size_t>(lf - in.text) + 1;
    } else if (!in.framed) {
        // A client that sends no line feeds writes one command per write.
        if (memchr(in.text, '\n', len) == nullptr) {
            run_command(server, client, in.text, len);
            return ClientVerdict::Keep;
        }
        in.framed = 1;
    }
    run_lines(server, client, start, len);
    return ClientVerdict::Keep;
}
