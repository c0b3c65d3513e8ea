// SPDX-License-Identifier: MIT
// The text messages rfwatch-web sends to the page, each made here only, so
// their shape is checked in one place against what the page reads.
#pragma once

#include "radio_source.h"

#include <cstdint>
#include <string>
#include <string_view>

// {"type":"status","daemon":"connected"|"unreachable","lines":N,"dropped":N}
std::string status_message(bool daemon_connected, uint64_t lines, uint64_t dropped);
// {"type":"error","message":"..."}
std::string error_message(std::string_view message);
// {"type":"sent","command":{...}}; command is the JSON sent to rfwatchd.
std::string sent_message(std::string_view command);
// Tells the page to list the radios and let the viewer choose.
inline constexpr std::string_view FLEET_MESSAGE = R"({"type":"fleet"})";
// {"type":"radio","id":N,"node":"...","radio":"...","state":"online"|
// "offline"|"unknown"|"expired","daemon":"connected"|"unreachable"}, and
// when the radio's air was heard of lately ,"air":{"quality":Q,"signals":
// [{"class":"...","mhz":M,"dbm":D,"duty":F},...]} (heaviest first).
std::string radio_message(int id, const RadioInfo &r);
// {"type":"selected","radio":N}
std::string selected_message(int id);
// {"type":"air","line":{...}}: line is an air line that passed
// parse_air_line, carried as the daemon wrote it. Empty when it is not
// UTF-8, which the page's WebSocket would close the connection over.
std::string air_message(std::string_view line);
