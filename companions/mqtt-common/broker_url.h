// SPDX-License-Identifier: MIT
// The broker URL every MQTT companion takes: mqtt://[user@]host[:port] or
// mqtts://... (TLS). The password never rides in it.
#pragma once

#include <string>
#include <string_view>

struct BrokerUrl {
    bool tls;         // mqtts://
    std::string user; // empty: no login
    std::string host; // without brackets for IPv6
    int port;         // 1883 or 8883 unless given
};

// false: error says why.
bool parse_broker_url(std::string_view text, BrokerUrl &out, std::string &error);
