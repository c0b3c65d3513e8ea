// SPDX-License-Identifier: MIT
#include "replay_command.h"

#include "command.h"

#include <array>
#include <cstdio>

namespace
{

struct Refusal {
    CommandKind kind;
    const char *why;
};

// The lines were measured before the replay started: nothing a client asks
// of the radio can change them.
constexpr std::array<Refusal, 3> REFUSALS = {{
    {CommandKind::SetAggregation,
     "aggregation period not changed: a replay serves the lines as recorded"},
    {CommandKind::StartSweep, "sweep not started: a replay cannot tune the radio"},
    {CommandKind::CancelSweep, "no sweep to cancel: a replay runs none"},
}};

// A command shown in a log line: printable ASCII, the rest escaped, and
// not much of it (a client may send anything).
std::string shown(std::string_view text)
{
    constexpr size_t MOST = 80;
    std::string out;
    for (size_t i = 0; i < text.size() && i < MOST; i++) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            std::array<char, 5> hex{};
            snprintf(hex.data(), hex.size(), "\\x%02x", c);
            out += hex.data();
        }
    }
    if (text.size() > MOST)
        out += "...";
    return out;
}

std::string client_text(int client)
{
    return "Client " + std::to_string(client) + ": ";
}

} // namespace

CommandOutcome replay_command(int client, std::string_view text)
{
    DaemonCommand cmd{};
    const CommandCheck check = parse_command(text, cmd);
    if (check.error != CommandError::Ok)
        return {false, false,
                client_text(client) + "command refused: " +
                    command_error_text(check, CommandKeys::Daemon) + ": " + shown(text)};
    if (cmd.kind == CommandKind::Air) {
        const bool on = cmd.air_period_ms > 0;
        return {true, on,
                client_text(client) +
                    (on ? "air lines on (every " + std::to_string(cmd.air_period_ms) +
                              " ms asked; served at the recording's own period)"
                        : std::string("air lines off"))};
    }
    for (const Refusal &r : REFUSALS)
        if (r.kind == cmd.kind)
            return {false, false, client_text(client) + r.why};
    return {false, false, client_text(client) + "command ignored: " + shown(text)};
}
