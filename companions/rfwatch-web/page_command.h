// SPDX-License-Identifier: MIT
// The page's commands (text messages from a browser) checked and turned into
// rfwatchd's JSON commands.
#pragma once

#include <string>
#include <string_view>

enum class PageCommandResult { Ok, Invalid };

// message: {"type":"period","ms":N}, {"type":"sweep","from":F,"to":T[,"duration":D]
// [,"dwell":W]}, {"type":"cancel"} or {"type":"air","air":N}, within rfwatchd-stream's limits
// (command_limits.def). Ok: json holds rfwatchd's command (no newline).
// Invalid: error holds one sentence for the page.
PageCommandResult page_command_to_json(std::string_view message, std::string &json,
                                       std::string &error);

// {"type":"select","radio":N} (fleet mode: which radio this page shows).
// Select: radio holds N, 0 to max_radio - 1. NotSelect: some other message.
enum class PageSelectResult { Select, NotSelect, Invalid };
PageSelectResult page_select_radio(std::string_view message, int max_radio, int &radio,
                                   std::string &error);
