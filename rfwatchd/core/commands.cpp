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

constexpr size_t COMMAND_READ_SIZE = 4096;

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

} // namespace

ClientVerdict handle_client_command(Server &server, Client &client)
{
    // One more byte than is read, so the text can be printed as a string.
    char buf[COMMAND_READ_SIZE + 1];
    // Peeked first: a full buffer whose last line is cut leaves that tail in
    // the socket, to be read whole with what follows it.
    ssize_t n = recv(client.socket, buf, COMMAND_READ_SIZE, MSG_PEEK);
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
    size_t len = static_cast<size_t>(n);
    const char *last_lf = static_cast<const char *>(memrchr(buf, '\n', len));
    if (last_lf != nullptr && len == COMMAND_READ_SIZE)
        len = static_cast<size_t>(last_lf - buf) + 1;
    // Only this process reads the socket, so what was peeked is still there.
    if (recv(client.socket, buf, len, 0) != static_cast<ssize_t>(len)) {
        log_text("Client %d connection error: %s\n", client.socket, strerror(errno));
        return ClientVerdict::Drop;
    }
    // Each line is a command; so is a read without a line feed, and the
    // unterminated rest after the last line feed of a read. Blank lines are
    // framing, not commands.
    size_t start = 0;
    while (start < len) {
        char *lf = static_cast<char *>(memchr(buf + start, '\n', len - start));
        size_t end = lf != nullptr ? static_cast<size_t>(lf - buf) : len;
        if (lf == nullptr || !blank(buf + start, end - start))
            run_command(server, client, buf + start, end - start);
        start = end + 1;
    }
    return ClientVerdict::Keep;
}
