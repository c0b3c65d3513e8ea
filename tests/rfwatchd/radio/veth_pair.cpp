// SPDX-License-Identifier: MIT
#include "veth_pair.h"

#include "namespaces.h"
#include "subprocess.h"

#include <cstring>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace radiotest
{

namespace
{

bool with_ifreq(const std::string &name, unsigned long request, ifreq &ifr)
{
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    std::strncpy(ifr.ifr_name, name.c_str(), IFNAMSIZ - 1);
    bool ok = ioctl(s, request, &ifr) == 0;
    close(s);
    return ok;
}

} // namespace

bool make_veth_pair(const std::string &name, const std::string &peer, std::string *why)
{
    if (!wdtest::enter_private_network(why))
        return false;
    wdtest::Outcome o =
        wdtest::run({"/usr/sbin/ip", "link", "add", name, "type", "veth", "peer", "name", peer});
    if (!o.exited || o.status != 0) {
        if (why)
            *why = "ip link add " + name + " type veth failed: " + o.err;
        return false;
    }
    return true;
}

void delete_veth_pair(const std::string &name)
{
    wdtest::run({"/usr/sbin/ip", "link", "del", name});
}

long interface_flags(const std::string &name)
{
    ifreq ifr{};
    if (!with_ifreq(name, SIOCGIFFLAGS, ifr))
        return -1;
    return static_cast<unsigned short>(ifr.ifr_flags);
}

bool change_interface_flags(const std::string &name, unsigned flags, bool on)
{
    ifreq ifr{};
    if (!with_ifreq(name, SIOCGIFFLAGS, ifr))
        return false;
    unsigned current = static_cast<unsigned short>(ifr.ifr_flags);
    ifr.ifr_flags = static_cast<short>(on ? current | flags : current & ~flags);
    return with_ifreq(name, SIOCSIFFLAGS, ifr);
}

InterfaceInfo interface_info(const std::string &name)
{
    InterfaceInfo info{};
    std::strncpy(info.name, name.c_str(), sizeof info.name - 1);
    info.ifindex = static_cast<int32_t>(if_nametoindex(name.c_str()));
    return info;
}

} // namespace radiotest
