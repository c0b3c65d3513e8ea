// SPDX-License-Identifier: MIT
#include "command_line.h"

#include "address_text.h"
#include "log.h"
#include "send.h"
#include "state_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <iterator>
#include <net/if.h>

namespace
{

constexpr EventCommand commands[] = {
    {"if-create", EV_IF_CREATE, PARAM_MAC, false},
    {"if-destroy", EV_IF_DESTROY, PARAM_NONE, false},
    {"if-up", EV_IF_UP, PARAM_NONE, false},
    {"if-down", EV_IF_DOWN, PARAM_NONE, false},
    {"if-mac", EV_IF_MAC, PARAM_MAC, true},
    {"link-up", EV_LINK_UP, PARAM_NONE, false},
    {"link-down", EV_LINK_DOWN, PARAM_NONE, false},
    {"link-dormant", EV_LINK_DORMANT, PARAM_NONE, false},
    {"link-lldown", EV_LINK_LOWERLAYER_DOWN, PARAM_NONE, false},
    {"ip-assign", EV_ADDR_ASSIGN, PARAM_ADDR, true},
    {"ip-remove", EV_ADDR_REMOVE, PARAM_ADDR, false},
};

struct ParamForm {
    const char *prefix; // "mac=" or "addr="
    const char *word;   // as the "requires" message names it
};

// Indexed by ParamKind.
constexpr ParamForm param_forms[] = {
    {"", ""},
    {"mac=", "mac"},
    {"addr=", "addr"},
};
static_assert(std::size(param_forms) == PARAM_ADDR + 1);

constexpr option long_options[] = {
    {"init", required_argument, nullptr, 'i'},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

// Takes the value of the last parameter with the command's prefix.
const char *last_value(const ParamForm &form, std::span<char *const> params)
{
    const char *value = nullptr;
    std::size_t n = std::strlen(form.prefix);
    for (char *p : params) {
        if (std::strncmp(p, form.prefix, n) == 0)
            value = p + n;
        else
            log_warning("Unknown parameter '%s'", p);
    }
    return value;
}

} // namespace

const char usage_text[] =
    "Usage: ifward-event <command> <interface> [param=value ...]\n"
    "   or: ifward-event --init <file>\n"
    "\nOptions:\n"
    "  -i, --init <file>                     - Initialize state from file\n"
    "  -h, --help                            - Show this help message\n"
    "\nInterface Commands:\n"
    "  if-create <interface> [mac=<mac>]     - Create interface\n"
    "  if-destroy <interface>                - Destroy interface\n"
    "  if-up <interface>                     - Bring interface up\n"
    "  if-down <interface>                   - Bring interface down\n"
    "  if-mac <interface> mac=<mac>          - Change MAC address\n"
    "\nLink Commands:\n"
    "  link-up <interface>                   - Physical link up\n"
    "  link-down <interface>                 - Physical link down\n"
    "  link-dormant <interface>              - Link waiting for external event\n"
    "  link-lldown <interface>               - Link waiting for lower layer\n"
    "\nAddress Commands:\n"
    "  ip-assign <interface> addr=<addr>   - Assign IP address\n"
    "  ip-remove <interface> [addr=<addr>] - Remove IP address\n"
    "\nParameters:\n"
    "  mac=<address>                         - MAC address (e.g., mac=00:11:22:33:44:55)\n"
    "  addr=<ip>[/<prefix>]                  - IP address with optional prefix\n"
    "                                          IPv4: addr=192.168.1.100/24\n"
    "                                          IPv6: addr=2001:db8::1/64\n"
    "\nExamples:\n"
    "  ifward-event if-create eth0 mac=00:11:22:33:44:55\n"
    "  ifward-event if-up eth0\n"
    "  ifward-event ip-assign eth0 addr=192.168.1.100/24\n"
    "  ifward-event ip-assign eth0 addr=2001:db8::1/64\n"
    "  ifward-event link-down wlan0\n";

const EventCommand *find_command(const char *name)
{
    for (const auto &c : commands)
        if (std::strcmp(c.name, name) == 0)
            return &c;
    return nullptr;
}

bool apply_event_parameters(const EventCommand &cmd, std::span<char *const> params,
                            EventDatagram *d)
{
    if (cmd.param == PARAM_NONE) {
        if (!params.empty())
            log_warning("Command does not expect parameters");
        for (char *p : params)
            log_debug("Ignore parameter: %s", p);
        return true;
    }
    const ParamForm &form = param_forms[cmd.param];
    const char *value = last_value(form, params);
    if (!value) {
        if (cmd.required) {
            log_error("%s requires %s parameter", cmd.name, form.word);
            return false;
        }
        return true;
    }
    if (cmd.param == PARAM_MAC) {
        uint8_t mac[MAC_LEN];
        if (!parse_mac_text(value, mac)) {
            log_error("Invalid MAC address format: %s", value);
            return false;
        }
        event_set_mac(d, mac);
        return true;
    }
    ParsedAddress a;
    if (!parse_address_text(value, &a)) {
        log_error("Invalid IP address format: %s", value);
        return false;
    }
    event_set_address(d, a.family, a.prefix_len, a.addr);
    return true;
}

void print_usage(const char *fmt, ...)
{
    if (fmt) {
        va_list ap;
        va_start(ap, fmt);
        log_error_v(fmt, ap);
        va_end(ap);
        std::fputc('\n', stderr);
    }
    std::fputs(usage_text, stdout);
    std::exit(fmt ? 1 : 0);
}

int run_event_tool(int argc, char **argv)
{
    log_set_debug(std::getenv("DEBUG") != nullptr);

    // Our own "Invalid option" line replaces getopt's unprefixed one.
    opterr = 0;
    const char *init_path = nullptr;
    int opt;
    while ((opt = getopt_long(argc, argv, "i:h", long_options, nullptr)) != -1) {
        if (opt == 'i')
            init_path = optarg;
        else if (opt == 'h')
            print_usage(nullptr);
        else
            print_usage("Invalid option");
    }
    if (init_path)
        return import_state_file(init_path) ? 0 : 255;

    if (argc - optind < 2)
        print_usage("Missing command arguments");
    const char *command = argv[optind];
    const char *ifname = argv[optind + 1];

    EventDatagram d{};
    datagram_copy_name(d.ifname, ifname);
    // The full name, not the cut one: a cut name must not match another
    // interface. Names too long for the kernel give 0.
    d.ifindex = static_cast<int32_t>(if_nametoindex(ifname));

    const EventCommand *cmd = find_command(command);
    if (!cmd)
        print_usage("Unknown command '%s'", command);
    d.event = cmd->event;
    if (!apply_event_parameters(*cmd, std::span(argv + optind + 2, argv + argc), &d))
        print_usage("Failed to parse command options");

    log_debug("Sending event %s on %s to %s", event_name(d.event), d.ifname, IFWARD_SOCKET_PATH);
    if (!send_datagram(datagram_bytes(d)))
        return 255;
    log_info("Event sent: %s on %s", event_name(d.event), d.ifname);
    return 0;
}
