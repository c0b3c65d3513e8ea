// SPDX-License-Identifier: MIT
#include "radio/current_channel.h"

#include "base/log.h"
#include "radio/netlink_request.h"
#include "radio/nl80211_message.h"

#include <iterator>
#include <netlink/attr.h>
#include <netlink/errno.h>
#include <netlink/handlers.h>
#include <netlink/msg.h>

namespace
{

// What the monitor reports when it leaves the width out: the daemon then
// sizes its bins for an 80 MHz channel.
constexpr uint32_t WIDTH_WHEN_ABSENT_MHZ = 80;

// Indexed by enum nl80211_chan_width; values past the end (5 and 10 MHz
// channels and anything newer) count as 20 MHz.
constexpr uint32_t width_mhz_table[] = {
    20,  // NL80211_CHAN_WIDTH_20_NOHT
    20,  // NL80211_CHAN_WIDTH_20
    40,  // NL80211_CHAN_WIDTH_40
    80,  // NL80211_CHAN_WIDTH_80
    160, // NL80211_CHAN_WIDTH_80P80
    160, // NL80211_CHAN_WIDTH_160
};
static_assert(NL80211_CHAN_WIDTH_160 == 5 && NL80211_CHAN_WIDTH_20_NOHT == 0);

void report_sent(int sent)
{
    log_text("nl80211: Sent %d bytes on dedicated socket, waiting for response...\n", sent);
}

} // namespace

uint32_t width_mhz_of_nl80211(uint32_t chan_width)
{
    if (chan_width >= std::size(width_mhz_table))
        return 20;
    return width_mhz_table[chan_width];
}

int channel_reply_handler(nl_msg *msg, void *context)
{
    auto &out = *static_cast<CurrentChannel *>(context);
    log_text("nl80211: Config handler called for interface %s\n", out.name);
    Nl80211Attrs tb;
    if (!parse_nl80211_reply(msg, tb)) {
        log_text("Failed to parse netlink attributes for interface config %s\n", out.name);
        return NL_SKIP;
    }
    if (tb[NL80211_ATTR_CHANNEL_WIDTH]) {
        out.width = width_mhz_of_nl80211(nla_get_u32(tb[NL80211_ATTR_CHANNEL_WIDTH]));
        log_text("nl80211: Interface %s current channel width: %u MHz\n", out.name, out.width);
    } else {
        out.width = WIDTH_WHEN_ABSENT_MHZ;
        log_text("nl80211: No channel width found for interface %s, defaulting to %u MHz\n",
                 out.name, out.width);
    }
    // Wide channels are described by their centre; the control frequency of
    // an 80 MHz channel is not where its spectrum is.
    if (out.width >= 80 && tb[NL80211_ATTR_CENTER_FREQ1]) {
        out.frequency = nla_get_u32(tb[NL80211_ATTR_CENTER_FREQ1]);
        out.frequency_found = true;
        log_text("nl80211: Interface %s center frequency: %u MHz (%u MHz width)\n", out.name,
                 out.frequency, out.width);
    } else if (tb[NL80211_ATTR_WIPHY_FREQ]) {
        out.frequency = nla_get_u32(tb[NL80211_ATTR_WIPHY_FREQ]);
        out.frequency_found = true;
        log_text("nl80211: Interface %s primary frequency: %u MHz (%u MHz width)\n", out.name,
                 out.frequency, out.width);
    } else {
        log_text("nl80211: No frequency attribute found for interface %s\n", out.name);
    }
    return NL_OK;
}

RadioError query_current_channel(const RadioControl &rc, CurrentChannel &out)
{
    InterfaceInfo monitor = rc.monitor;
    if (monitor.ifindex < 0) {
        log_text("Interface check failed\n");
        return RadioError::MonitorNotFound;
    }
    auto build = [&](nl_msg *msg, int family) {
        return put_nl80211_request(msg, family, NL80211_CMD_GET_INTERFACE, monitor.ifindex);
    };
    auto ready = [&] {
        out = CurrentChannel{0, 0, false, monitor.name};
        log_text("nl80211: Sending GET_INTERFACE query for %s (ifindex=%d) on dedicated socket\n",
                 monitor.name, monitor.ifindex);
    };
    NlReplyOptions options;
    options.receive_timeout_s = 2; // a silent kernel must not hold up start-up
    options.after_send = report_sent;
    NlRun run = run_nl80211_reply({RadioRequest::ConfigQuery, monitor.name, build, ready},
                                  channel_reply_handler, &out, options);
    if (run.stage == NlStage::Receive)
        log_text(texts_of(RadioRequest::ConfigQuery).refused, monitor.name, nl_geterror(run.error),
                 run.error);
    return channel_query_result(run, out);
}

RadioError channel_query_result(const NlRun &run, const CurrentChannel &out)
{
    if (run.result != RadioError::Success)
        return run.result;
    // Every reply the handler understood set a width: without one, no
    // answer came that could size the bins.
    if (out.width == 0)
        return texts_of(RadioRequest::ConfigQuery).failed;
    return RadioError::Success;
}
