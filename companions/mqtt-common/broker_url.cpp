// SPDX-License-Identifier: MIT
#include "broker_url.h"

#include <charconv>

namespace
{

// host, [IPv6] or either with :port after it.
bool split_host_port(std::string_view text, BrokerUrl &out, std::string_view &port_text,
                     std::string &error)
{
    if (text.starts_with("[")) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) {
            error = "unclosed [ in the broker URL";
            return false;
        }
        out.host = text.substr(1, close - 1);
        text.remove_prefix(close + 1);
        if (!text.empty() && !text.starts_with(":")) {
            error = "unexpected text after ] in the broker URL";
            return false;
        }
        port_text = text.empty() ? text : text.substr(1);
    } else {
        const size_t colon = text.find(':');
        out.host = text.substr(0, colon);
        port_text = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
    }
    if (out.host.empty() || out.host.find_first_of("/?#@ ") != std::string::npos) {
        error = "the broker URL needs a host (and no path)";
        return false;
    }
    return true;
}

} // namespace

bool parse_broker_url(std::string_view text, BrokerUrl &out, std::string &error)
{
    out = BrokerUrl{};
    if (text.starts_with("mqtts://")) {
        out.tls = true;
        text.remove_prefix(8);
    } else if (text.starts_with("mqtt://")) {
        text.remove_prefix(7);
    } else {
        error = "the broker URL must start with mqtt:// or mqtts://";
        return false;
    }
    if (text.ends_with("/"))
        text.remove_suffix(1);
    if (const size_t at = text.rfind('@'); at != std::string_view::npos) {
        out.user = text.substr(0, at);
        text.remove_prefix(at + 1);
        if (out.user.find(':') != std::string::npos) {
            error = "no password in the URL (it would show in the process list): use "
                    "--password-file";
            return false;
        }
        if (out.user.empty()) {
            error = "empty user name in the broker URL";
            return false;
        }
    }
    std::string_view port_text;
    if (!split_host_port(text, out, port_text, error))
        return false;
    out.port = out.tls ? 8883 : 1883;
    if (port_text.empty())
        return true;
    int port = 0;
    const auto [end, ec] =
        std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
    if (ec != std::errc() || end != port_text.data() + port_text.size() || port < 1 ||
        port > 65535) {
        error = "the broker port must be 1 to 65535";
        return false;
    }
    out.port = port;
    return true;
}
