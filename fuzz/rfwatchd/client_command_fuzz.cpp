// SPDX-License-Identifier: MIT
// A client command: the bytes of one read from a client's socket, framed as
// the daemon frames them (at most 4096 bytes, a terminator after them).
// A text that is not JSON points at a place inside the bytes read; an
// accepted command has values its handler may use as they are.
#include "base/log.h"
#include "core/command_parse.h"
#include "fuzz_check.h"

#include <cmath>
#include <cstring>

namespace
{

constexpr size_t READ_SIZE = 4096;

// A JSON number as a signed 32-bit value: truncated toward zero, clamped.
void check_clamp(double v)
{
    int32_t got = clamp_to_int32(v);
    if (std::isnan(v))
        FUZZ_CHECK(got == 0);
    else if (v >= 2147483647.0)
        FUZZ_CHECK(got == INT32_MAX);
    else if (v <= -2147483648.0)
        FUZZ_CHECK(got == INT32_MIN);
    else
        FUZZ_CHECK(static_cast<double>(got) == std::trunc(v));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static char buf[READ_SIZE + 1];
    size_t n = size < READ_SIZE ? size : READ_SIZE;
    memcpy(buf, data, n);
    buf[n] = '\0';

    ParsedCommand cmd;
    switch (parse_client_command(buf, n, cmd)) {
    case COMMAND_NOT_JSON: {
        FUZZ_CHECK(cmd.error_at >= buf && cmd.error_at <= buf + n);
        // The daemon prints the text from there escaped: no control byte
        // reaches the log.
        static char shown[escaped_size(READ_SIZE)];
        const char *text =
            escape_control({cmd.error_at, static_cast<size_t>(buf + n - cmd.error_at)}, shown);
        for (const char *c = text; *c != '\0'; c++)
            FUZZ_CHECK(static_cast<unsigned char>(*c) >= 0x20 && *c != 0x7f);
        break;
    }
    case COMMAND_IGNORED:
        break;
    case COMMAND_OK:
        switch (cmd.command) {
        case CMD_SET_AGGREGATION:
            FUZZ_CHECK(cmd.period_ms > 0);
            break;
        case CMD_START_SWEEP:
            FUZZ_CHECK(cmd.from_mhz >= 0 && cmd.from_mhz <= cmd.to_mhz);
            FUZZ_CHECK(cmd.dwell_ms > 0);
            break;
        case CMD_CANCEL_SWEEP:
            break;
        default:
            FUZZ_CHECK(!"an accepted command is one of the three");
        }
        break;
    default:
        FUZZ_CHECK(!"a parse ends in one of three ways");
    }

    if (size >= sizeof(double)) {
        double v;
        memcpy(&v, data, sizeof v);
        check_clamp(v);
    }
    return 0;
}
