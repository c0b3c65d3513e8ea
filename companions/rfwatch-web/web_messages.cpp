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
    out += "\"}";
    return out;
}

std::string selected_message(int id)
{
    return R"({"type":"selected","radio":)" + std::to_string(id) + "}";
}
