#include "show_format.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

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
    // Measured first: escaped names can make a record's text any length.
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    if (n > 0) {
        size_t at = out.size();
        out.resize(at + static_cast<size_t>(n));
        // Its terminating NUL lands on the string's own, which is allowed.
        std::vsnprintf(out.data() + at, static_cast<size_t>(n) + 1, fmt, again);
    }
    va_end(again);
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

// Well-formed UTF-8 sequences by lead byte: their length and the range of
// the second byte, which rules out overlong forms, surrogates and code
// points above U+10FFFF. Later bytes are always 0x80-0xbf.
struct Utf8Lead {
    unsigned char first, last;
    size_t length;
    unsigned char second_min, second_max;
};

constexpr Utf8Lead kUtf8Leads[] = {
    {0xc2, 0xdf, 2, 0x80, 0xbf}, {0xe0, 0xe0, 3, 0xa0, 0xbf}, {0xe1, 0xec, 3, 0x80, 0xbf},
    {0xed, 0xed, 3, 0x80, 0x9f}, {0xee, 0xef, 3, 0x80, 0xbf}, {0xf0, 0xf0, 4, 0x90, 0xbf},
    {0xf1, 0xf3, 4, 0x80, 0xbf}, {0xf4, 0xf4, 4, 0x80, 0x8f},
};

// Length of the well-formed UTF-8 sequence that starts `s`, or 0.
size_t utf8_length(std::string_view s)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    for (const Utf8Lead &l : kUtf8Leads) {
        if (byte(0) < l.first || byte(0) > l.last)
            continue;
        if (s.size() < l.length || byte(1) < l.second_min || byte(1) > l.second_max)
            return 0;
        for (size_t i = 2; i < l.length; ++i)
            if (byte(i) < 0x80 || byte(i) > 0xbf)
                return 0;
        return l.length;
    }
    return 0;
}

void append_u_escape(std::string &out, unsigned char c)
{
    append(out, "\\u%04x", c);
}

// SSIDs are arbitrary bytes. Well-formed UTF-8 is copied as it is; control
// characters (C0, DEL and C1, which terminals act on) become \u00XX, which
// decodes to the same character; a byte that is not part of well-formed
// UTF-8 becomes \u00XX for its value, so the output is always valid JSON.
// A field without its NUL ends at its size.
template <size_t N> std::string json_string(const char (&field)[N])
{
    std::string_view s(field, strnlen(field, N));
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += s[i++];
        } else if (c >= 0x20 && c < 0x7f) {
            out += s[i++];
        } else if (size_t n = utf8_length(s.substr(i)); n == 0) {
            append_u_escape(out, c);
            ++i;
        } else if (n == 2 && c == 0xc2 && static_cast<unsigned char>(s[i + 1]) < 0xa0) {
            append_u_escape(out, static_cast<unsigned char>(s[i + 1])); // U+0080-U+009F
            i += 2;
        } else {
            out.append(s.substr(i, n));
            i += n;
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
