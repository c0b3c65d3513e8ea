// SPDX-License-Identifier: MIT
#include "fleet_contract.h"

#include <algorithm>
#include <cJSON.h>
#include <memory>
#include <mosquitto.h>

const char *const FLEET_NAME_RULE = "1 to 64 printable ASCII characters other than / + # \" and \\";
const char *const FLEET_PREFIX_RULE =
    "topic levels of UTF-8 text without '+', '#', control characters or empty levels";

namespace
{

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

constexpr const char *LEAF[] = {"spectrum", "status", "command", "air"};

bool whole_count(const cJSON *item, uint64_t &out)
{
    if (!cJSON_IsNumber(item) || item->valuedouble < 0 || item->valuedouble >= 1.8e19)
        return false;
    out = static_cast<uint64_t>(item->valuedouble);
    return true;
}

// value must be one of the two words; true when it is the first.
bool word(const cJSON *doc, const char *key, const char *yes, const char *no, bool &out)
{
    const char *v = cJSON_GetStringValue(cJSON_GetObjectItemCaseSensitive(doc, key));
    if (v == nullptr)
        return false;
    const std::string_view s(v);
    out = s == yes;
    return out || s == no;
}

} // namespace

bool fleet_name_ok(std::string_view name)
{
    return !name.empty() && name.size() <= FLEET_NAME_MAX && std::ranges::all_of(name, [](char c) {
        return c >= 0x21 && c <= 0x7e && c != '/' && c != '+' && c != '#' && c != '"' && c != '\\';
    });
}

bool fleet_prefix_ok(std::string_view prefix)
{
    if (prefix.empty() || prefix.front() == '/' || prefix.back() == '/' ||
        prefix.find("//") != std::string_view::npos)
        return false;
    // libmosquitto's own checks: UTF-8 without control characters, then
    // no wildcard (which also bounds the length).
    const std::string text(prefix);
    return mosquitto_validate_utf8(text.c_str(), static_cast<int>(text.size())) ==
               MOSQ_ERR_SUCCESS &&
           mosquitto_pub_topic_check(text.c_str()) == MOSQ_ERR_SUCCESS;
}

std::string fleet_topic(std::string_view prefix, std::string_view node, std::string_view radio,
                        FleetTopic kind)
{
    std::string t(prefix);
    t.append("/").append(node).append("/").append(radio).append("/");
    return t.append(LEAF[static_cast<int>(kind)]);
}

std::string fleet_subscription(std::string_view prefix, FleetTopic kind)
{
    return fleet_topic(prefix, "+", "+", kind);
}

bool fleet_topic_parse(std::string_view prefix, std::string_view topic, FleetTopicParts &out)
{
    if (topic.size() <= prefix.size() + 1 || !topic.starts_with(prefix) ||
        topic[prefix.size()] != '/')
        return false;
    std::string_view rest = topic.substr(prefix.size() + 1);
    for (const FleetTopic kind : {FleetTopic::Spectrum, FleetTopic::Status, FleetTopic::Air}) {
        const std::string_view leaf = LEAF[static_cast<int>(kind)];
        if (rest.size() <= leaf.size() + 1 || !rest.ends_with(leaf) ||
            rest[rest.size() - leaf.size() - 1] != '/')
            continue;
        rest.remove_suffix(leaf.size() + 1);
        const size_t slash = rest.find('/');
        if (slash == std::string_view::npos)
            return false;
        out = {kind, rest.substr(0, slash), rest.substr(slash + 1)};
        return fleet_name_ok(out.node) && fleet_name_ok(out.radio);
    }
    return false;
}

std::string fleet_status_encode(const FleetStatus &s)
{
    std::string out = "{\"state\":\"";
    out += s.online ? "online" : "offline";
    out += "\",\"daemon\":\"";
    out += s.daemon_connected ? "connected" : "unreachable";
    out += "\",\"lines\":" + std::to_string(s.lines);
    out += ",\"dropped\":" + std::to_string(s.dropped) + "}";
    return out;
}

bool fleet_status_parse(std::string_view payload, FleetStatus &out)
{
    JsonPtr doc(cJSON_ParseWithLength(payload.data(), payload.size()), cJSON_Delete);
    if (!cJSON_IsObject(doc.get()))
        return false;
    FleetStatus s;
    if (!word(doc.get(), "state", "online", "offline", s.online) ||
        !word(doc.get(), "daemon", "connected", "unreachable", s.daemon_connected) ||
        !whole_count(cJSON_GetObjectItemCaseSensitive(doc.get(), "lines"), s.lines) ||
        !whole_count(cJSON_GetObjectItemCaseSensitive(doc.get(), "dropped"), s.dropped))
        return false;
    out = s;
    return true;
}
