#include "show_format.h"

#include <cstdarg>
#include <cstdio>

namespace airtally_show
{

namespace
{

constexpr const char *kIftypeNames[] = {
    "unspecified", "adhoc",      "station", "ap",         "ap_vlan", "wds", "monitor",
    "mesh",        "p2p_client", "p2p_go",  "p2p_device", "ocb",     "nan"};

const char *iftype_name(uint32_t t)
{
    return t < sizeof(kIftypeNames) / sizeof(kIftypeNames[0]) ? kIftypeNames[t] : "other";
}

__attribute__((format(printf, 2, 3))) void append(std::string &out, const char *fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    if (n > 0)
        out.append(buf,
                   static_cast<size_t>(n) < sizeof(buf) ? static_cast<size_t>(n) : sizeof(buf) - 1);
}

std::string mac_text(const uint8_t *m)
{
    char buf[18];
    std::snprintf(buf, sizeof(buf), "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
    return buf;
}

std::string modes_text(uint8_t modes)
{
    std::string s;
    for (auto [bit, name] :
         {std::pair{AIRTALLY_MODE_HT, "HT"}, {AIRTALLY_MODE_VHT, "VHT"}, {AIRTALLY_MODE_HE, "HE"}})
        if (modes & bit)
            s += s.empty() ? name : std::string(",") + name;
    return s.empty() ? "-" : s;
}

const char *or_dash(const char *s)
{
    return s[0] ? s : "-";
}

// SSIDs are arbitrary bytes: anything outside printable ASCII is escaped
// (bytes above 0x7f as \u00XX, so the output stays valid UTF-8).
std::string json_string(const char *s)
{
    std::string out = "\"";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(s); *p; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += static_cast<char>(*p);
        } else if (*p < 0x20 || *p >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof(buf), "\\u%04x", *p);
            out += buf;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out + "\"";
}

} // namespace

std::string format_table(const radio_stat *radios, const vap_stat *vaps)
{
    std::string out = "RADIOS\n";
    append(out, "%-4s %-15s %-15s %-7s %-17s %-7s %-5s %-5s %-7s %-10s %s\n", "phy", "name",
           "ifname", "ifindex", "mac", "country", "freq", "width", "txpower", "modes",
           "antennas(tx/rx)");
    for (const radio_stat *r = radios->next; r != radios; r = r->next)
        append(out, "%-4u %-15s %-15s %-7u %-17s %-7s %-5u %-5u %-7u %-10s 0x%02x/0x%02x\n",
               static_cast<unsigned>(r->phy), or_dash(r->phy_name), or_dash(r->ifname),
               static_cast<unsigned>(r->ifindex), mac_text(r->mac).c_str(), or_dash(r->country),
               static_cast<unsigned>(r->freq), r->chan_width, r->tx_power,
               modes_text(r->phy_modes).c_str(), r->antenna_tx, r->antenna_rx);
    out += "VAPS\n";
    append(out, "%-7s %-15s %-4s %-11s %-17s %-5s %-3s %-10s %-10s %-10s %s\n", "ifindex", "ifname",
           "phy", "type", "mac", "4addr", "wpa", "key_mgmt", "pairwise", "group", "ssid");
    for (const vap_stat *v = vaps->next; v != vaps; v = v->next)
        append(out, "%-7u %-15s %-4u %-11s %-17s %-5u %-3u 0x%08x 0x%08x 0x%08x %s\n",
               static_cast<unsigned>(v->ifindex), or_dash(v->ifname), static_cast<unsigned>(v->phy),
               iftype_name(v->iftype), mac_text(v->mac).c_str(), v->use_4addr,
               static_cast<unsigned>(v->wpa), static_cast<unsigned>(v->key_mgmt),
               static_cast<unsigned>(v->pairwise_cipher), static_cast<unsigned>(v->group_cipher),
               json_string(v->ssid).c_str());
    return out;
}

std::string format_json(const radio_stat *radios, const vap_stat *vaps)
{
    std::string out = "{\"radios\":[";
    for (const radio_stat *r = radios->next; r != radios; r = r->next) {
        if (r != radios->next)
            out += ',';
        append(out, "{\"phy\":%u,\"phy_name\":%s,\"ifname\":%s,\"ifindex\":%u,\"mac\":\"%s\",",
               static_cast<unsigned>(r->phy), json_string(r->phy_name).c_str(),
               json_string(r->ifname).c_str(), static_cast<unsigned>(r->ifindex),
               mac_text(r->mac).c_str());
        append(out,
               "\"country\":%s,\"antenna_tx\":%u,\"antenna_rx\":%u,\"freq\":%u,"
               "\"chan_width\":%u,\"phy_modes\":%u,\"tx_power\":%u}",
               json_string(r->country).c_str(), r->antenna_tx, r->antenna_rx,
               static_cast<unsigned>(r->freq), r->chan_width, r->phy_modes, r->tx_power);
    }
    out += "],\"vaps\":[";
    for (const vap_stat *v = vaps->next; v != vaps; v = v->next) {
        if (v != vaps->next)
            out += ',';
        append(out,
               "{\"ifindex\":%u,\"ifname\":%s,\"mac\":\"%s\",\"phy\":%u,\"iftype\":%u,"
               "\"ssid\":%s,",
               static_cast<unsigned>(v->ifindex), json_string(v->ifname).c_str(),
               mac_text(v->mac).c_str(), static_cast<unsigned>(v->phy),
               static_cast<unsigned>(v->iftype), json_string(v->ssid).c_str());
        append(out,
               "\"use_4addr\":%u,\"wpa\":%u,\"key_mgmt\":%u,\"pairwise_cipher\":%u,"
               "\"group_cipher\":%u}",
               v->use_4addr, static_cast<unsigned>(v->wpa), static_cast<unsigned>(v->key_mgmt),
               static_cast<unsigned>(v->pairwise_cipher), static_cast<unsigned>(v->group_cipher));
    }
    out += "]}\n";
    return out;
}

} // namespace airtally_show
