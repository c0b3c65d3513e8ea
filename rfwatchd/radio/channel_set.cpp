// SPDX-License-Identifier: MIT
#include "radio/channel_set.h"

#include "base/log.h"
#include "capture/spectral_config.h"
#include "radio/channel_plan.h"
#include "radio/netlink_request.h"
#include "radio/nl80211_message.h"

#include <netlink/attr.h>
#include <netlink/errno.h>

namespace
{

// How a width is asked of SET_WIPHY. HT widths name the control channel and
// a channel type; VHT widths name the centre, and the control channel is the
// lowest 20 MHz channel inside the block.
struct ChannelLayout {
    uint32_t width_mhz;
    uint32_t control_below_centre_mhz; // VHT only
    uint32_t chan_width;               // NL80211_ATTR_CHANNEL_WIDTH; 0 for HT
    uint32_t ht_type;                  // NL80211_ATTR_WIPHY_CHANNEL_TYPE for HT
    const char *ht_label;
};

constexpr ChannelLayout layout_table[] = {
    {20, 0, 0, NL80211_CHAN_HT20, "HT20"},
    {40, 0, 0, NL80211_CHAN_HT40PLUS, "HT40+"}, // secondary above the control channel
    {80, 30, NL80211_CHAN_WIDTH_80, 0, nullptr},
    {160, 70, NL80211_CHAN_WIDTH_160, 0, nullptr},
};

constexpr ChannelLayout default_layout = {0, 0, 0, NL80211_CHAN_HT20, "HT20 (default)"};

const ChannelLayout &layout_of(uint32_t width_mhz)
{
    for (const ChannelLayout &layout : layout_table)
        if (layout.width_mhz == width_mhz)
            return layout;
    return default_layout;
}

RadioError tune_agile(RadioControl &rc, uint32_t frequency_mhz)
{
    ConfigError err = spectral_start_agile(*rc.spectral, static_cast<int>(frequency_mhz));
    if (err != ConfigError::Success) {
        log_text("Failed to set agile channel: %s\n", config_error_message(err));
        return RadioError::InvalidParameters;
    }
    return RadioError::Success;
}

RadioError tune_phy(RadioControl &rc, uint32_t frequency_mhz, uint32_t width_mhz)
{
    const InterfaceInfo &monitor = rc.monitor;
    auto build = [&](nl_msg *msg, int family) {
        return build_set_wiphy(msg, family, monitor.ifindex, frequency_mhz, width_mhz);
    };
    NlRun run =
        run_ack_request(NlSocketKind::Nl80211, {RadioRequest::SetWiphy, monitor.name, build, {}});
    if (run.stage == NlStage::Receive)
        log_text(texts_of(RadioRequest::SetWiphy).refused, monitor.name, frequency_mhz, width_mhz,
                 monitor.ifindex, nl_geterror(run.error), run.error);
    if (run.result != RadioError::Success)
        return run.result;
    log_text("Set channel for %s: freq=%u MHz, width=%u MHz\n", monitor.name, frequency_mhz,
             width_mhz);
    return RadioError::Success;
}

} // namespace

bool build_set_wiphy(nl_msg *msg, int family, int32_t ifindex, uint32_t frequency_mhz,
                     uint32_t width_mhz)
{
    if (!put_nl80211_request(msg, family, NL80211_CMD_SET_WIPHY, ifindex))
        return false;
    const ChannelLayout &layout = layout_of(width_mhz);
    if (layout.chan_width == 0) {
        log_text("Debug: Setting channel: freq=%u MHz, type=%s\n", frequency_mhz, layout.ht_label);
        return nla_put_u32(msg, NL80211_ATTR_WIPHY_FREQ, frequency_mhz) == 0 &&
               nla_put_u32(msg, NL80211_ATTR_WIPHY_CHANNEL_TYPE, layout.ht_type) == 0;
    }
    uint32_t control = frequency_mhz - layout.control_below_centre_mhz;
    log_text("Debug: Setting %uMHz channel: primary=%u MHz, center=%u MHz\n", layout.width_mhz,
             control, frequency_mhz);
    return nla_put_u32(msg, NL80211_ATTR_WIPHY_FREQ, control) == 0 &&
           nla_put_u32(msg, NL80211_ATTR_CHANNEL_WIDTH, layout.chan_width) == 0 &&
           nla_put_u32(msg, NL80211_ATTR_CENTER_FREQ1, frequency_mhz) == 0;
}

RadioError set_channel(RadioControl &rc, uint32_t frequency_mhz, uint32_t width_mhz)
{
    if (rc.monitor.ifindex < 0) {
        log_text("Monitor interface not initialized\n");
        return RadioError::MonitorNotFound;
    }
    if (band_of_frequency(frequency_mhz) == Band::BandUnknown)
        return RadioError::InvalidParameters;
    switch (rc.sweep_type) {
    case SweepType::Agile:
        return tune_agile(rc, frequency_mhz);
    case SweepType::Active:
        return tune_phy(rc, frequency_mhz, width_mhz);
    default:
        return RadioError::InvalidParameters;
    }
}
