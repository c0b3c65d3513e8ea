// The library handle: the netlink part, the control-socket part and the
// heads of the two lists.
#pragma once

#include "airtally.h"

#include <cstdint>
#include <sys/un.h>

struct nl_sock;

namespace airtally
{

struct NlPart {
    nl_sock *sock;
    int32_t family; // resolved nl80211 generic-netlink family
};

struct CtrlPart {
    int fd;            // -1 when closed
    sockaddr_un peer;  // daemon socket, written before each query
    sockaddr_un local; // our own socket file; path empty unless bound
};

} // namespace airtally

// The heads are whole zeroed records rather than bare pointer pairs, so that
// list code only ever touches a head through its own type; callers still
// read only `next` and `prev` of a head.
struct radiostats {
    airtally::NlPart *nl;
    airtally::CtrlPart *ctrl;
    radio_stat radios;
    vap_stat vaps;
};

namespace airtally
{

// The three zero-filled records with empty lists and a closed control
// socket, but nothing opened; nullptr when an allocation fails.
radiostats *handle_new();

// Creates the control socket and binds it at /tmp/airtally_ctrl_<pid>.
// 0, or -1 after the perror line (the file is not removed unless we bound it).
int ctrl_open(airtally::CtrlPart *ctrl);

// Opens the generic-netlink socket and resolves nl80211; 0 or -1 after the
// messages.
int nl_open(airtally::NlPart *nl);

} // namespace airtally
