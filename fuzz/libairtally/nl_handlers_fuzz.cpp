// SPDX-License-Identifier: MIT
// nl80211 dump replies: any bytes taken as a netlink receive buffer, each
// message (as libnl walks and copies them) given to one of the library's
// four handlers, chosen by its message type, all merging into one handle.
// Every handler returns NL_SKIP; the lists stay well linked with one record
// per phy and per interface index, the names stay terminated in their
// fields and the channel width is one the table gives.
#include "fuzz_check.h"
#include "handle_fixture.h"
#include "nl_handlers.h"

#include <cstring>
#include <netlink/msg.h>
#include <set>
#include <vector>

using namespace airtally;

namespace
{

constexpr nl_recvmsg_msg_cb_t HANDLERS[] = {wiphy_handler, iface_handler, reg_handler, vap_handler};

bool terminated(const char *field, size_t size)
{
    return memchr(field, '\0', size) != nullptr;
}

void check_lists(radiostats *h)
{
    FUZZ_CHECK(links_consistent(&h->radios) && links_consistent(&h->vaps));
    std::set<uint32_t> phys, ifindexes;
    for (radio_stat *r = h->radios.next; r != &h->radios; r = r->next) {
        FUZZ_CHECK(phys.insert(r->phy).second);
        FUZZ_CHECK(terminated(r->ifname, sizeof r->ifname));
        FUZZ_CHECK(terminated(r->phy_name, sizeof r->phy_name));
        FUZZ_CHECK(terminated(r->country, sizeof r->country));
        FUZZ_CHECK(r->phy_modes & AIRTALLY_MODE_REPORTED);
        FUZZ_CHECK(r->chan_width == 0 || r->chan_width == 20 || r->chan_width == 40 ||
                   r->chan_width == 80 || r->chan_width == 160);
    }
    for (vap_stat *v = h->vaps.next; v != &h->vaps; v = v->next) {
        FUZZ_CHECK(ifindexes.insert(v->ifindex).second);
        FUZZ_CHECK(terminated(v->ifname, sizeof v->ifname));
        FUZZ_CHECK(terminated(v->ssid, sizeof v->ssid));
        // The control-socket members are not the dump's to set.
        FUZZ_CHECK(v->wpa == 0 && v->key_mgmt == 0 && v->pairwise_cipher == 0 &&
                   v->group_cipher == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Aligned as a receive buffer is.
    std::vector<uint32_t> words((size + 3) / 4);
    if (size > 0)
        memcpy(words.data(), data, size);
    auto *nlh = reinterpret_cast<nlmsghdr *>(words.data());
    int left = static_cast<int>(size);

    HandlePtr h = bare_handle();
    FUZZ_CHECK(h != nullptr);
    for (; nlmsg_ok(nlh, left); nlh = nlmsg_next(nlh, &left)) {
        nl_msg *msg = nlmsg_convert(nlh);
        FUZZ_CHECK(msg != nullptr);
        FUZZ_CHECK(HANDLERS[nlh->nlmsg_type % 4](msg, h.get()) == NL_SKIP);
        nlmsg_free(msg);
    }
    check_lists(h.get());
    return 0;
}
