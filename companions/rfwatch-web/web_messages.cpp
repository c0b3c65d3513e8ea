// SPDX-License-Identifier: MIT
#include "web_messages.h"

#include <cstdio>

namespace
{

// JSON string escaping for our own sentences, which may quote a value.
void append_escaped(std::string &out, std::string_view text)
{
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
            out += esc;
        } else
            out += c;
    }
}

// A browser closes the connection on a text message that is not UTF-8;
// JSON's own parse does not check it.
bool utf8_ok(std::string_view text)
{
    size_t follow = 0;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (follow > 0) {
            if ((c & 0xC0) != 0x80)
                return false;
            follow--;
        } else if (c >= 0x80) {
            // Leads of 2 to 4 bytes; C0, C1 and F5..FF start overlongs or
            // values beyond Unicode.
            if (c < 0xC2 || c > 0xF4)
                return false;
            follow = c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        }
    }
    return follow == 0;
}

void append_air(std::string &out, const FleetAirSummary &air)
{
    out.append(R"(,"air":{"quality":)")
        .append(std::to_string(air.quality))
        .append(R"(,"signals":[)");
    for (size_t i = 0; i < air.signal_count; i++) {
        const FleetAirSignal &s = air.signals[i];
        out.append(i ? R"(,{"class":")" : R"({"class":")");
        append_escaped(out, s.cls);
        char nums[96];
        snprintf(nums, sizeof nums, R"(","mhz":%.1f,"dbm":%.1f,"duty":%.3f})", s.mhz, s.dbm,
                 s.duty);
        out += nums;
    }
    out += "]}";
}

} // namespace

std::string status_message(bool daemon_connected, uint64_t lines, uint64_t dropped)
{
    char buf[160];
    snprintf(buf, sizeof buf, R"({"type":"status","daemon":"%s","lines":%llu,"dropped":%llu})",
             daemon_connected ? "connected" : "unreachable", static_cast<unsigned long long>(lines),
             static_cast<unsigned long long>(dropped));
    return buf;
}

std::string error_message(std::string_view message)
{
    std::string out = R"({"type":"error","message":")";
    append_escaped(out, message);
    out += "\"}";
    return out;
}

std::string sent_message(std::string_view command)
{
    std::string out = R"({"type":"sent","command":)";
    out += command;
    out += '}';
    return out;
}

std::string radio_message(int id, const RadioInfo &r)
{
    static constexpr const char *STATES[] = {"unknown", "online", "offline", "expired"};
    std::string out = R"({"type":"radio","id":)" + std::to_string(id) + R"(,"node":")";
    append_escaped(out, r.node);
    out += R"(","radio":")";
    append_escaped(out, r.radio);
    out.append(R"(","state":")").append(STATES[static_cast<int>(r.state)]);
    out.append(R"(","daemon":")").append(r.daemon_connected ? "connected" : "unreachable");
    out += '"';
    if (r.air.quality >= 0)
        append_air(out, r.air);
    out += '}';
    return out;
}

std::string selected_message(int id)
{
    return R"({"type":"selected","radio":)" + std::to_string(id) + "}";
}

std::string air_message(std::string_view line)
{
    if (!utf8_ok(line))
        return {};
    std::string out = R"({"type":"air","line":)";
    out.append(line).append("}");
    return out;
}
