// airtally-show: prints what libairtally reports about this access point's
// radios and interfaces, with the security settings of the access point and
// station interfaces from their daemons.
#include "show_format.h"

#include <cstdio>
#include <cstring>
#include <getopt.h>

namespace
{

const char kUsage[] = "Usage: airtally-show [--json] [--no-sock]\n"
                      "  --json     one JSON object instead of the table\n"
                      "  --no-sock  do not ask hostapd / wpa_supplicant (no security fields)\n";

} // namespace

int main(int argc, char **argv)
{
    bool json = false, ask_daemons = true;
    static const option kOptions[] = {{"json", no_argument, nullptr, 'j'},
                                      {"no-sock", no_argument, nullptr, 'n'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    for (int c; (c = getopt_long(argc, argv, "jnh", kOptions, nullptr)) != -1;) {
        switch (c) {
        case 'j':
            json = true;
            break;
        case 'n':
            ask_daemons = false;
            break;
        case 'h':
            std::fputs(kUsage, stdout);
            return 0;
        default:
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (optind != argc) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    radiostats *h = radiostats_init();
    if (!h)
        return 1; // the library said why
    radio_stat *radios = radio_stat_get_all(h);
    vap_stat *vaps = vap_stat_get_all_nl(h);
    if (ask_daemons)
        for (vap_stat *v = vaps->next; v != vaps; v = v->next)
            vap_stat_get_sock(h, v);
    std::string text =
        json ? airtally_show::format_json(radios, vaps) : airtally_show::format_table(radios, vaps);
    std::fputs(text.c_str(), stdout);
    radio_stat_free_all(h);
    vap_stat_free_all(h);
    radiostats_free(h);
    return 0;
}
