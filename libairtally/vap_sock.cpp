// SPDX-License-Identifier: MIT
// vap_stat_get_sock: a VAP's security settings from the daemon that runs it.
#include "ctrl_reply.h"
#include "ctrl_socket.h"
#include "guards.h"
#include "handle.h"

#include <cstdio>
#include <cstdlib>
#include <linux/nl80211.h>
#include <unistd.h>

namespace airtally
{

namespace
{

constexpr const char *kStaCtrlDir = "/var/run/wpa_supplicant";
constexpr const char *kApCtrlDir = "/var/run/hostapd";

bool connect_daemon(CtrlPart *ctrl, const char *dir, const char *ifname)
{
    char path[sizeof(sockaddr_un::sun_path) + 32];
    std::snprintf(path, sizeof(path), "%s/%s", dir, ifname);
    return ctrl_connect(ctrl, path) == 0;
}

void clear_security(vap_stat *vap)
{
    vap->wpa = 0;
    vap->key_mgmt = 0;
    vap->pairwise_cipher = 0;
    vap->group_cipher = 0;
}

// Cleared once the daemon is reached, as for an access point: a station
// that left a protected network must not keep its suites. MIB's lines
// replace STATUS's.
void query_station(CtrlPart *ctrl, vap_stat *vap, char *reply, size_t size)
{
    if (!connect_daemon(ctrl, kStaCtrlDir, vap->ifname))
        return;
    ctrl_request(ctrl, "STATUS", reply, size);
    clear_security(vap);
    parse_sta_reply(vap, reply);
    ctrl_request(ctrl, "MIB", reply, size);
    parse_sta_reply(vap, reply);
}

void query_access_point(CtrlPart *ctrl, vap_stat *vap, char *reply, size_t size)
{
    if (!connect_daemon(ctrl, kApCtrlDir, vap->ifname))
        return;
    ctrl_request(ctrl, "GET_CONFIG", reply, size);
    clear_security(vap);
    parse_ap_reply(vap, reply);
}

} // namespace

} // namespace airtally

using namespace airtally;

extern "C" vap_stat *vap_stat_get_sock(radiostats *h, vap_stat *vap)
{
    if (vap->iftype != NL80211_IFTYPE_STATION && vap->iftype != NL80211_IFTYPE_AP)
        return vap;
    auto size = static_cast<size_t>(getpagesize());
    FreePtr<char, std::free> reply(static_cast<char *>(std::malloc(size)));
    if (!reply)
        return vap;
    if (vap->iftype == NL80211_IFTYPE_STATION)
        query_station(h->ctrl, vap, reply.get(), size);
    else
        query_access_point(h->ctrl, vap, reply.get(), size);
    return vap;
}
