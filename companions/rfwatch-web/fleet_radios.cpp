#include "fleet_radios.h"

#include <algorithm>
#include <cJSON.h>
#include <memory>
#include <utility>

namespace
{

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

bool name_ok(std::string_view name)
{
    return !name.empty() && name.size() <= FLEET_NAME_MAX && std::ranges::all_of(name, [](char c) {
        return c >= 0x21 && c <= 0x7e && c != '/' && c != '+' && c != '#' && c != '"' && c != '\\';
    });
}

struct TopicSuffix {
    std::string_view text;
    FleetTopic kind;
};
constexpr TopicSuffix SUFFIXES[] = {{"/spectrum", FleetTopic::Spectrum},
                                    {"/status", FleetTopic::Status}};

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

bool fleet_topic_parse(std::string_view prefix, std::string_view topic, FleetTopicParts &out)
{
    if (topic.size() <= prefix.size() + 1 || topic.substr(0, prefix.size()) != prefix ||
        topic[prefix.size()] != '/')
        return false;
    std::string_view rest = topic.substr(prefix.size() + 1);
    for (const TopicSuffix &s : SUFFIXES) {
        if (rest.size() <= s.text.size() || rest.substr(rest.size() - s.text.size()) != s.text)
            continue;
        rest.remove_suffix(s.text.size());
        const size_t slash = rest.find('/');
        if (slash == std::string_view::npos)
            return false;
        out = {s.kind, rest.substr(0, slash), rest.substr(slash + 1)};
        return name_ok(out.node) && name_ok(out.radio);
    }
    return false;
}

std::string fleet_command_topic(std::string_view prefix, std::string_view node,
                                std::string_view radio)
{
    std::string t(prefix);
    t.append("/").append(node).append("/").append(radio).append("/command");
    return t;
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

int fleet_radio_id(FleetRadios &t, std::string_view node, std::string_view radio, int64_t now_us,
                   FleetAdded *how)
{
    std::string key(node);
    key.append("/").append(radio);
    if (const auto found = t.ids.find(key); found != t.ids.end()) {
        t.radios[static_cast<size_t>(found->second)].heard_us = now_us;
        if (how != nullptr)
            *how = FleetAdded::Known;
        return found->second;
    }
    FleetRadio fresh{std::string(node), std::string(radio), true, false, {}, now_us};
    int id = 0;
    FleetAdded added = FleetAdded::New;
    if (t.radios.size() < FLEET_MAX_RADIOS) {
        id = static_cast<int>(t.radios.size());
        t.radios.push_back(std::move(fresh));
    } else {
        // A forgotten place first, else the one silent longest.
        const auto place = std::ranges::min_element(t.radios, [](const auto &a, const auto &b) {
            return a.in_use != b.in_use ? !a.in_use : a.heard_us < b.heard_us;
        });
        id = static_cast<int>(place - t.radios.begin());
        if (place->in_use) {
            t.ids.erase(place->node + "/" + place->radio);
            t.evicted++;
        }
        *place = std::move(fresh);
        added = FleetAdded::Replaced;
    }
    t.ids.emplace(std::move(key), id);
    if (how != nullptr)
        *how = added;
    return id;
}

void fleet_radios_expire(FleetRadios &t, int64_t now_us, void (*gone)(void *, int), void *context)
{
    for (size_t i = 0; i < t.radios.size(); i++) {
        FleetRadio &r = t.radios[i];
        if (!r.in_use || now_us - r.heard_us < FLEET_SILENT_US)
            continue;
        r.in_use = false;
        t.ids.erase(r.node + "/" + r.radio);
        gone(context, static_cast<int>(i));
    }
}

bool fleet_radio_live(const FleetRadio &r)
{
    return r.in_use && r.status_known && r.status.online && r.status.daemon_connected;
}
