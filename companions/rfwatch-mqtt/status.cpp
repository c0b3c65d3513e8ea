#include "status.h"

std::string status_json(const MqttStatus &s)
{
    std::string out = "{\"state\":\"";
    out += s.online ? "online" : "offline";
    out += "\",\"daemon\":\"";
    out += s.daemon_connected ? "connected" : "unreachable";
    out += "\",\"lines\":" + std::to_string(s.lines);
    out += ",\"dropped\":" + std::to_string(s.dropped) + "}";
    return out;
}
