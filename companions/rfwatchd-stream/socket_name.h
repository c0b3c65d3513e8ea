// SPDX-License-Identifier: MIT
// What a companion calls a radio when it is only told rfwatchd's socket:
// the daemon's units name each socket after its interface
// (/run/rfwatchd/wlan0.sock), so the file name is the radio's name.
#pragma once

#include <string>
#include <string_view>

// "/run/rfwatchd/wlan0.sock" -> "wlan0".
std::string radio_from_socket(std::string_view socket_path);
