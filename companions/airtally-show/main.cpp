// SPDX-License-Identifier: MIT
// airtally-show: prints what libairtally reports about this access point's
// radios and interfaces, with the security settings of the access point and
// station interfaces from their daemons.
#include "cli.h"
#include "show_format.h"

#include <cstdio>

namespace
{

constexpr CliOption ROWS[] = {
    {"json", 'j', CliArg::None, nullptr, "one JSON object instead of the table"},
    {"no-sock", 'n', CliArg::None, nullptr,
     "do not ask hostapd / wpa_supplicant (no security fields)"},
};
const CliProgram SHOW_CLI = {"airtally-show",
                             "print libairtally's radios and interfaces",
                             " [--json] [--no-sock]\n",
                             {ROWS, CLI_HELP, CLI_VERSION},
                             "",
                             14,
                             false};

struct Choice {
    bool json = false, ask_daemons = true;
};

bool take(void *target, int key, const char * /*text*/, double /*number*/, std::string & /*error*/)
{
    Choice &c = *static_cast<Choice *>(target);
    if (key == 'j')
        c.json = true;
    else // --no-sock
        c.ask_daemons = false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Choice c;
    std::string error;
    const CliResult parsed = cli_parse(SHOW_CLI, argc, argv, take, &c, error);
    if (const int status = cli_finish(SHOW_CLI, parsed, "airtally-show", error, 2); status >= 0)
        return status;

    radiostats *h = radiostats_init();
    if (!h)
        return 1; // the library said why
    radio_stat *radios = radio_stat_get_all(h);
    vap_stat *vaps = vap_stat_get_all_nl(h);
    if (c.ask_daemons)
        for (vap_stat *v = vaps->next; v != vaps; v = v->next)
            vap_stat_get_sock(h, v);
    std::string text = c.json ? airtally_show::format_json(radios, vaps)
                              : airtally_show::format_table(radios, vaps);
    std::fputs(text.c_str(), stdout);
    radio_stat_free_all(h);
    vap_stat_free_all(h);
    radiostats_free(h);
    return 0;
}
