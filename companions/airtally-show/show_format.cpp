// SPDX-License-Identifier: MIT
#include "show_format.h"

#include "names.h"
#include "utf8.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace airtally_show
{

namespace
{

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

std::string modes_text(uint8_t modes)
{
    std::string s = airtally_names::modes_text(modes);
    return s.empty() ? "-" : s;
}

const char *or_dash(const char *s)
{
    return s[0] ? s : "-";
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
        } else if (size_t n = airtally_names::utf8_length(s.substr(i)); n == 0) {
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

// The library keeps a negative power in two's complement.
int tx_dbm(const radio_stat *r)
{
    return static_cast<int8_t>(r->tx_power);
}

} // namespace

std::string format_table(const radio_stat *radios, const vap_stat *vaps)
{
    std::string out = "RADIOS\n";
    append(out, "%-4s %-15s %-15s %-7s %-17s %-7s %-5s %-5s %-7s %-10s %s\n", "phy", "name",
           "ifname", "ifindex", "mac", "country", "freq", "width", "txpower", "modes",
           "antennas(tx/rx)");
    for (const radio_stat *r = radios->next; r != radios; r = r->next)
        append(out, "%-4u %-15s %-15s %-7u %-17s %-7s %-5u %-5u %-7d %-10s 0x%02x/0x%02x\n",
               static_cast<unsigned>(r->phy), or_dash(r->phy_name), or_dash(r->ifname),
               static_cast<unsigned>(r->ifindex), airtally_names::mac_text(r->mac).c_str(),
               or_dash(r->country), static_cast<unsigned>(r->freq), r->chan_width, tx_dbm(r),
               modes_text(r->phy_modes).c_str(), r->antenna_tx, r->antenna_rx);
    out += "VAPS\n";
    append(out, "%-7s %-15s %-4s %-11s %-17s %-5s %-3s %-10s %-10s %-10s %s\n", "ifindex", "ifname",
           "phy", "type", "mac", "4addr", "wpa", "key_mgmt", "pairwise", "group", "ssid");
    for (const vap_stat *v = vaps->next; v != vaps; v = v->next)
        append(out, "%-7u %-15s %-4u %-11s %-17s %-5u %-3u 0x%08x 0x%08x 0x%08x %s\n",
               static_cast<unsigned>(v->ifindex), or_dash(v->ifname), static_cast<unsigned>(v->phy),
               airtally_names::iftype_name(v->iftype), airtally_names::mac_text(v->mac).c_str(),
               v->use_4addr, static_cast<unsigned>(v->wpa), static_cast<unsigned>(v->key_mgmt),
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
               airtally_names::mac_text(r->mac).c_str());
        append(out,
               "\"country\":%s,\"antenna_tx\":%u,\"antenna_rx\":%u,\"freq\":%u,"
               "\"chan_width\":%u,\"phy_modes\":%u,\"tx_power\":%d}",
               json_string(r->country).c_str(), r->antenna_tx, r->antenna_rx,
               static_cast<unsigned>(r->freq), r->chan_width, r->phy_modes, tx_dbm(r));
    }
    out += "],\"vaps\":[";
    for (const vap_stat *v = vaps->next; v != vaps; v = v->next) {
        if (v != vaps->next)
            out += ',';
        append(out,
               "{\"ifindex\":%u,\"ifname\":%s,\"mac\":\"%s\",\"phy\":%u,\"iftype\":%u,"
               "\"ssid\":%s,",
               static_cast<unsigned>(v->ifindex), json_string(v->ifname).c_str(),
               airtally_names::mac_text(v->mac).c_str(), static_cast<unsigned>(v->phy),
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
