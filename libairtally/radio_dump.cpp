// SPDX-License-Identifier: MIT
// The radio list: wiphy, interface and regulatory dumps merged into one
// radio_stat per phy.
#include "handle.h"
#include "list.h"
#include "nl_attr.h"
#include "nl_dump.h"
#include "nl_handlers.h"
#include "refresh.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace airtally
{

namespace
{

static_assert(NL80211_ATTR_WIPHY == 1 && NL80211_ATTR_WIPHY_NAME == 2 &&
              NL80211_ATTR_IFINDEX == 3 && NL80211_ATTR_IFNAME == 4 && NL80211_ATTR_MAC == 6 &&
              NL80211_ATTR_WIPHY_BANDS == 22 && NL80211_ATTR_REG_ALPHA2 == 33 &&
              NL80211_ATTR_WIPHY_FREQ == 38 && NL80211_ATTR_WIPHY_TX_POWER_LEVEL == 98 &&
              NL80211_ATTR_WIPHY_ANTENNA_TX == 105 && NL80211_ATTR_WIPHY_ANTENNA_RX == 106 &&
              NL80211_ATTR_CHANNEL_WIDTH == 159);
static_assert(NL80211_BAND_ATTR_HT_MCS_SET == 3 && NL80211_BAND_ATTR_HT_CAPA == 4 &&
              NL80211_BAND_ATTR_VHT_MCS_SET == 7 && NL80211_BAND_ATTR_VHT_CAPA == 8 &&
              NL80211_BAND_ATTR_IFTYPE_DATA == 9);
static_assert(NL80211_BAND_IFTYPE_ATTR_HE_CAP_MAC == 2 &&
              NL80211_BAND_IFTYPE_ATTR_HE_CAP_PHY == 3 &&
              NL80211_BAND_IFTYPE_ATTR_HE_CAP_MCS_SET == 4 &&
              NL80211_BAND_IFTYPE_ATTR_HE_CAP_PPE == 5);

// MHz indexed by nl80211_chan_width, up to the widest the records report;
// 80+80 counts as 160: the same spectrum in two pieces.
constexpr uint8_t kWidthMhz[] = {20, 20, 40, 80, 160, 160};
static_assert(std::size(kWidthMhz) == NL80211_CHAN_WIDTH_160 + 1);
static_assert(NL80211_CHAN_WIDTH_20_NOHT == 0 && NL80211_CHAN_WIDTH_20 == 1 &&
              NL80211_CHAN_WIDTH_40 == 2 && NL80211_CHAN_WIDTH_80 == 3 &&
              NL80211_CHAN_WIDTH_80P80 == 4 && NL80211_CHAN_WIDTH_160 == 5);

// Parses a reply about a phy that the wiphy dump already listed: its radio,
// or nullptr when the reply names no phy or one not listed.
radio_stat *known_radio_of(nl_msg *msg, void *arg, Nl80211Attrs *a)
{
    uint32_t phy;
    if (!parse_nl80211_reply(msg, a) || !attr_u32(a->tb[NL80211_ATTR_WIPHY], &phy))
        return nullptr;
    auto *h = static_cast<radiostats *>(arg);
    return list_find(&h->radios, [phy](const radio_stat &r) { return r.phy == phy; });
}

bool iftype_data_has_he(nlattr *iftype_data)
{
    static constexpr int kHeAttrs[] = {
        NL80211_BAND_IFTYPE_ATTR_HE_CAP_MAC, NL80211_BAND_IFTYPE_ATTR_HE_CAP_PHY,
        NL80211_BAND_IFTYPE_ATTR_HE_CAP_MCS_SET, NL80211_BAND_IFTYPE_ATTR_HE_CAP_PPE};
    nlattr *entry;
    int rem;
    nla_for_each_nested(entry, iftype_data, rem)
    {
        nlattr *tb[kBandIftypeAttrParseMax + 1];
        if (nla_parse_nested(tb, kBandIftypeAttrParseMax, entry, nullptr) != 0)
            continue;
        if (std::ranges::any_of(kHeAttrs, [&tb](int a) { return tb[a] != nullptr; }))
            return true;
    }
    return false;
}

void merge_band(radio_stat *r, nlattr *band)
{
    nlattr *tb[kBandAttrParseMax + 1];
    if (nla_parse(tb, kBandAttrParseMax, static_cast<nlattr *>(nla_data(band)), nla_len(band),
                  nullptr) != 0)
        return;
    if (tb[NL80211_BAND_ATTR_HT_CAPA] || tb[NL80211_BAND_ATTR_HT_MCS_SET])
        r->phy_modes |= AIRTALLY_MODE_HT;
    if (tb[NL80211_BAND_ATTR_VHT_CAPA] || tb[NL80211_BAND_ATTR_VHT_MCS_SET])
        r->phy_modes |= AIRTALLY_MODE_VHT;
    if (tb[NL80211_BAND_ATTR_IFTYPE_DATA] && !(r->phy_modes & AIRTALLY_MODE_HE) &&
        iftype_data_has_he(tb[NL80211_BAND_ATTR_IFTYPE_DATA]))
        r->phy_modes |= AIRTALLY_MODE_HE;
}

} // namespace

uint8_t tx_power_dbm(uint32_t level_mbm)
{
    // The kernel puts a signed mBm value into the u32: -500 arrives as
    // 0xFFFFFE0C. Truncated towards zero and kept in two's complement, so
    // the byte reads as the dBm through int8_t (real powers lie far inside
    // -128..127 dBm).
    auto mbm = static_cast<int32_t>(level_mbm);
    return static_cast<uint8_t>(mbm / 100);
}

bool chan_width_mhz(uint32_t nl_width, uint8_t *mhz)
{
    if (nl_width >= std::size(kWidthMhz))
        return false;
    *mhz = kWidthMhz[nl_width];
    return true;
}

// A phy spans several messages of the split dump; each one adds to its record.
int wiphy_handler(nl_msg *msg, void *arg)
{
    auto *h = static_cast<radiostats *>(arg);
    Nl80211Attrs a;
    uint32_t phy;
    if (!parse_nl80211_reply(msg, &a) || !attr_u32(a.tb[NL80211_ATTR_WIPHY], &phy))
        return NL_SKIP;
    radio_stat *r = list_find_or_add(&h->radios, &radio_stat::phy, phy);
    if (!r)
        return NL_SKIP;
    attr_string(a.tb[NL80211_ATTR_WIPHY_NAME], r->phy_name, sizeof(r->phy_name));
    uint32_t v;
    if (attr_u32(a.tb[NL80211_ATTR_WIPHY_ANTENNA_TX], &v))
        r->antenna_tx = static_cast<uint8_t>(v);
    if (attr_u32(a.tb[NL80211_ATTR_WIPHY_ANTENNA_RX], &v))
        r->antenna_rx = static_cast<uint8_t>(v);
    r->phy_modes |= AIRTALLY_MODE_REPORTED;
    if (a.tb[NL80211_ATTR_WIPHY_BANDS]) {
        nlattr *band;
        int rem;
        nla_for_each_nested(band, a.tb[NL80211_ATTR_WIPHY_BANDS], rem) merge_band(r, band);
    }
    return NL_SKIP;
}

// Interfaces never create radios; the first interface of a phy names it, the
// last one carrying an attribute sets it.
int iface_handler(nl_msg *msg, void *arg)
{
    Nl80211Attrs a;
    radio_stat *r = known_radio_of(msg, arg, &a);
    if (!r)
        return NL_SKIP;
    if (r->ifname[0] == '\0')
        attr_string(a.tb[NL80211_ATTR_IFNAME], r->ifname, sizeof(r->ifname));
    attr_u32(a.tb[NL80211_ATTR_WIPHY_FREQ], &r->freq);
    uint32_t v;
    if (attr_u32(a.tb[NL80211_ATTR_CHANNEL_WIDTH], &v) && !chan_width_mhz(v, &r->chan_width))
        std::fputs("Failed to find channel width\n", stderr);
    attr_bytes(a.tb[NL80211_ATTR_MAC], r->mac, sizeof(r->mac));
    if (attr_u32(a.tb[NL80211_ATTR_WIPHY_TX_POWER_LEVEL], &v))
        r->tx_power = tx_power_dbm(v);
    attr_u32(a.tb[NL80211_ATTR_IFINDEX], &r->ifindex);
    return NL_SKIP;
}

// The message without a phy is the global domain, not a radio's own.
int reg_handler(nl_msg *msg, void *arg)
{
    Nl80211Attrs a;
    radio_stat *r = known_radio_of(msg, arg, &a);
    if (!r)
        return NL_SKIP;
    attr_string(a.tb[NL80211_ATTR_REG_ALPHA2], r->country, sizeof(r->country));
    return NL_SKIP;
}

} // namespace airtally

using namespace airtally;

extern "C" radio_stat *radio_stat_get_all(radiostats *h)
{
    // Phys first: the other two dumps only add to radios already listed.
    static constexpr DumpStep kSteps[] = {
        {NL80211_CMD_GET_WIPHY, wiphy_handler, "wiphy "},
        {NL80211_CMD_GET_INTERFACE, iface_handler, "iface "},
        {NL80211_CMD_GET_REG, reg_handler, "regdata "},
    };
    Refresh<radio_stat> refresh;
    refresh_begin(&refresh, &h->radios);
    bool complete = true;
    for (const DumpStep &step : kSteps)
        complete = nl80211_dump_step(h, "radio_stat_get_all", step) && complete;
    refresh_end(&refresh, complete, &radio_stat::phy, [](const radio_stat &, radio_stat &) {});
    return &h->radios;
}
