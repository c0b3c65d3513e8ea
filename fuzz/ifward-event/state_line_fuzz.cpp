// SPDX-License-Identifier: MIT
// State-file lines: any bytes, cut into pieces as the replay reads them
// (256-byte buffer), scanned and applied to one interface's state. A line
// read as OK has its three parts whole and within their fields; applying a
// property changes only that property's members, leaves flags 0 or 1 and
// prefix lengths within their family's range, and is unknown exactly for
// names outside the state file's property list.
#include "datagram.h"
#include "fuzz_check.h"
#include "state_line.h"

#include <cstring>
#include <string_view>

namespace
{

constexpr size_t LINE_BUFFER = 256;

bool has_space(const char *s)
{
    for (; *s; ++s)
        if (*s == ' ' || (*s >= '\t' && *s <= '\r'))
            return true;
    return false;
}

bool known_property(std::string_view name)
{
    for (std::string_view p : {"exists", "enabled", "carrier", "dormant", "lldown", "mac",
                               "ipv4_address", "ipv4_prefix", "ipv6_address", "ipv6_prefix"})
        if (name == p)
            return true;
    return false;
}

void check_scanned(const StateLine &line, const char *text)
{
    size_t ifname = strnlen(line.ifname, sizeof line.ifname);
    size_t property = strnlen(line.property, sizeof line.property);
    size_t value = strnlen(line.value, sizeof line.value);
    FUZZ_CHECK(ifname >= 1 && ifname <= IFWARD_NAME_MAX);
    FUZZ_CHECK(property >= 1 && property <= STATE_PROPERTY_MAX);
    FUZZ_CHECK(value >= 1 && value <= STATE_VALUE_MAX);
    FUZZ_CHECK(strchr(line.ifname, '.') == nullptr);
    FUZZ_CHECK(strchr(line.property, '=') == nullptr);
    FUZZ_CHECK(!has_space(line.value));
    // The parts are the line's own: "<ifname>.<property>=" starts it.
    FUZZ_CHECK(strncmp(text, line.ifname, ifname) == 0 && text[ifname] == '.');
    FUZZ_CHECK(strncmp(text + ifname + 1, line.property, property) == 0);
    FUZZ_CHECK(text[ifname + 1 + property] == '=');
    FUZZ_CHECK(strstr(text + ifname + property + 2, line.value) != nullptr);
}

void check_state(const StateDatagram &s, const StateDatagram &before)
{
    for (uint8_t flag : {s.exists, s.enabled, s.carrier, s.dormant, s.lldown})
        FUZZ_CHECK(flag <= 1);
    FUZZ_CHECK(s.ipv4_prefix <= 32 && s.ipv6_prefix <= 128);
    FUZZ_CHECK(s.ifindex == before.ifindex);
    FUZZ_CHECK(memcmp(s.ifname, before.ifname, sizeof s.ifname) == 0);
    FUZZ_CHECK(s.zero0 == 0 && s.zero1[0] == 0 && s.zero1[1] == 0 && s.zero1[2] == 0);
    FUZZ_CHECK(s.zero2[0] == 0 && s.zero2[1] == 0 && s.zero2[2] == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    StateDatagram state{};
    state.ifindex = 7;
    datagram_copy_name(state.ifname, "fuzz0");
    state.exists = 1;

    size_t at = 0;
    while (at < size) {
        // fgets: up to 255 bytes, ending after a line feed.
        char piece[LINE_BUFFER];
        size_t n = 0;
        while (at < size && n < LINE_BUFFER - 1) {
            piece[n++] = static_cast<char>(data[at]);
            if (data[at++] == '\n')
                break;
        }
        piece[n] = '\0';

        StateLine line;
        const char *text = "";
        LineScan scan = state_line_scan(piece, &line, &text);
        FUZZ_CHECK(scan == LINE_SKIP || scan == LINE_MALFORMED || scan == LINE_OK);
        if (scan != LINE_OK)
            continue;
        FUZZ_CHECK(text >= piece && text < piece + n);
        check_scanned(line, text);

        StateDatagram before = state;
        ApplyResult r = state_apply(&state, line);
        FUZZ_CHECK((r == APPLY_UNKNOWN) == !known_property(line.property));
        if (r != APPLY_OK)
            FUZZ_CHECK(memcmp(&state, &before, sizeof state) == 0);
        check_state(state, before);
    }
    return 0;
}
