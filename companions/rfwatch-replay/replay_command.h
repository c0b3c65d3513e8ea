// SPDX-License-Identifier: MIT
// What a replay does with a client's command: it honours the air command
// (which lines the client gets) and refuses what would need the radio,
// each with one log line naming the client.
#pragma once

#include <string>
#include <string_view>

struct CommandOutcome {
    bool air_changed; // air says the client's new choice
    bool air;
    std::string log; // one line, without the "\n"
};

CommandOutcome replay_command(int client, std::string_view text);
