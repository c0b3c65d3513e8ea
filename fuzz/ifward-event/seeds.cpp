// SPDX-License-Identifier: MIT
// Hand-made seeds of the ifward-event harnesses: state files with every
// property and the line forms the replay must judge, and MAC and address
// texts valid and not.
#include "fuzz_seed.h"

#include <string>

using wdtest::seed_root;
using wdtest::SeedWriter;

int main(int argc, char **argv)
{
    const char *root = seed_root(argc, argv);
    SeedWriter lines(root, "state_line_fuzz");
    lines.write("every_property", "# eth0 and its addresses\n"
                                  "eth0.exists=1\n"
                                  "eth0.enabled=1\n"
                                  "eth0.carrier=0\n"
                                  "eth0.dormant=7\n"
                                  "eth0.lldown=x\n"
                                  "eth0.mac=02:00:00:00:01:0a\n"
                                  "eth0.ipv4_address=10.0.0.1/24\n"
                                  "eth0.ipv4_prefix=16\n"
                                  "eth0.ipv6_address=fe80::1/64\n"
                                  "eth0.ipv6_prefix=128\n");
    lines.write("blanks_and_ends", "\t  wlan0.enabled = 1 trailing words\r\n"
                                   "\n"
                                   "   # comment\n"
                                   "wlan0.mac=\t2:0:0:0:1:a   \r\n");
    lines.write("malformed", "eth0.100.enabled=1\n"
                             "no_dot_or_equals\n"
                             ".enabled=1\n"
                             "eth0.=1\n"
                             "eth0.enabled=\n"
                             "an-interface-name-too-long.enabled=1\n");
    lines.write("invalid_values", "eth0.ipv4_address=fe80::1\n"
                                  "eth0.ipv6_prefix=129\n"
                                  "eth0.mac=zz\n");
    lines.write("long_line", "eth0.mac=" + std::string(300, 'a') + "\neth0.exists=0\n");

    SeedWriter texts(root, "address_text_fuzz");
    texts.write("mac", "02:00:00:00:01:0a");
    texts.write("mac_short_fields", "2:0:0:0:1:A and more");
    texts.write("mac_bad", "02:00:00:00:01");
    texts.write("ipv4_prefix", "10.0.0.1/24");
    texts.write("ipv4_bad_prefix", "10.0.0.1/33");
    texts.write("ipv6", "fe80::1:2/64");
    texts.write("ipv6_mapped", "::ffff:192.0.2.1");
    texts.write("prefix_not_number", "192.0.2.1/x");
    texts.write("too_long", std::string(300, '1'));
    return 0;
}
