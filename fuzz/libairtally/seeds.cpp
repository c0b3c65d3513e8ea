// SPDX-License-Identifier: MIT
// Hand-made seeds of the libairtally harnesses: the daemons' replies, and
// nl80211 dump replies built as the kernel sends them, each message's type
// choosing its handler (wiphy, interface, regulatory, VAP).
#include "fuzz_seed.h"
#include "nl_reply_builder.h"

#include <linux/nl80211.h>
#include <string>

using wdtest::seed_root;
using wdtest::SeedWriter;

namespace
{

enum Handler { WIPHY, IFACE, REG, VAP };

// The messages one after another, as one receive buffer holds them.
class Dump
{
  public:
    Dump &add(NlReply &m, Handler h)
    {
        nlmsghdr *nlh = nlmsg_hdr(m.get());
        nlh->nlmsg_type = static_cast<uint16_t>(0x1c + h); // family 0x1c is WIPHY
        const auto *p = reinterpret_cast<const char *>(nlh);
        bytes_.append(p, NLMSG_ALIGN(nlh->nlmsg_len));
        return *this;
    }
    const std::string &bytes() const { return bytes_; }

  private:
    std::string bytes_;
};

void nl_seeds(const char *root)
{
    SeedWriter w(root, "nl_handlers_fuzz");
    NlReply phy(NL80211_CMD_NEW_WIPHY);
    phy.u32(NL80211_ATTR_WIPHY, 0)
        .str(NL80211_ATTR_WIPHY_NAME, "phy0")
        .u32(NL80211_ATTR_WIPHY_ANTENNA_TX, 3)
        .u32(NL80211_ATTR_WIPHY_ANTENNA_RX, 3)
        .open(NL80211_ATTR_WIPHY_BANDS)
        .open(NL80211_BAND_2GHZ)
        .u32(NL80211_BAND_ATTR_HT_CAPA, 0x1ff)
        .close()
        .open(NL80211_BAND_5GHZ)
        .bytes(NL80211_BAND_ATTR_VHT_MCS_SET, std::vector<uint8_t>(8, 0xfa))
        .open(NL80211_BAND_ATTR_IFTYPE_DATA)
        .open(1)
        .bytes(NL80211_BAND_IFTYPE_ATTR_HE_CAP_PHY, std::vector<uint8_t>(11, 1))
        .close()
        .close()
        .close()
        .close();
    NlReply iface(NL80211_CMD_NEW_INTERFACE);
    iface.u32(NL80211_ATTR_WIPHY, 0)
        .u32(NL80211_ATTR_IFINDEX, 5)
        .str(NL80211_ATTR_IFNAME, "wlan0")
        .u32(NL80211_ATTR_IFTYPE, NL80211_IFTYPE_AP)
        .bytes(NL80211_ATTR_MAC, {2, 0, 0, 0, 1, 0})
        .u32(NL80211_ATTR_WIPHY_FREQ, 5180)
        .u32(NL80211_ATTR_CHANNEL_WIDTH, NL80211_CHAN_WIDTH_80)
        .u32(NL80211_ATTR_WIPHY_TX_POWER_LEVEL, 2000)
        .bytes(NL80211_ATTR_SSID, {'a', 'i', 'r'})
        .u8(NL80211_ATTR_4ADDR, 1);
    NlReply reg(NL80211_CMD_GET_REG);
    reg.u32(NL80211_ATTR_WIPHY, 0).str(NL80211_ATTR_REG_ALPHA2, "FI");
    NlReply global(NL80211_CMD_GET_REG);
    global.str(NL80211_ATTR_REG_ALPHA2, "00");
    NlReply odd(NL80211_CMD_NEW_INTERFACE);
    odd.u32(NL80211_ATTR_WIPHY, 0)
        .u32(NL80211_ATTR_IFINDEX, 6)
        .u32(NL80211_ATTR_CHANNEL_WIDTH, NL80211_CHAN_WIDTH_320)
        .bytes(NL80211_ATTR_MAC, {1, 2})
        .u8(NL80211_ATTR_WIPHY_FREQ, 9)
        .str(NL80211_ATTR_IFNAME, "a-name-longer-than-sixteen");
    w.write("radio_dumps", Dump()
                               .add(phy, WIPHY)
                               .add(phy, WIPHY)
                               .add(iface, IFACE)
                               .add(odd, IFACE)
                               .add(reg, REG)
                               .add(global, REG)
                               .bytes());
    w.write("vap_dump", Dump().add(iface, VAP).add(odd, VAP).add(iface, VAP).bytes());
    w.write("unknown_phy", Dump().add(iface, IFACE).add(reg, REG).add(phy, WIPHY).bytes());
}

void ctrl_seeds(const char *root)
{
    SeedWriter w(root, "ctrl_reply_fuzz");
    w.write("hostapd_wpa2", "bssid=02:00:00:00:00:00\nssid=airtally\nwps_state=disabled\n"
                            "wpa=2\nkey_mgmt=WPA-PSK\ngroup_cipher=CCMP\n"
                            "rsn_pairwise_cipher=CCMP\n");
    w.write("hostapd_mixed", "wpa=3\nkey_mgmt=WPA-PSK SAE\nwpa_pairwise_cipher=TKIP\n"
                             "rsn_pairwise_cipher=CCMP-256\ngroup_cipher=TKIP\nwpa=1\n");
    w.write("wpa_supplicant_status", "bssid=02:00:00:00:00:00\nfreq=2412\nssid=airtally\n"
                                     "pairwise_cipher=CCMP\ngroup_cipher=CCMP\n"
                                     "key_mgmt=WPA2-PSK\nwpa_state=COMPLETED\n");
    w.write("wpa_supplicant_mib", "dot11RSNAOptionImplemented=TRUE\n"
                                  "dot11RSNAPairwiseCipherSelected=00-0f-ac-4\n"
                                  "dot11RSNAGroupCipherSelected=00-50-f2-2\n");
    w.write("empty_lines_and_cr", "\n\nkey_mgmt=SAE\r\nwpa=\ngroup_cipher=GCMP-256");
}

} // namespace

int main(int argc, char **argv)
{
    const char *root = seed_root(argc, argv);
    nl_seeds(root);
    ctrl_seeds(root);
    return 0;
}
