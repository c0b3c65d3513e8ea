// SPDX-License-Identifier: MIT
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
    // The private directory holding `local` when the documented path was
    // taken by someone else; empty otherwise.
    char dir[sizeof(sockaddr_un::sun_path)];
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
// Frees both lists, closes whatever part was opened and frees the records;
// h may be nullptr. radiostats_free is this function.
void handle_free(radiostats *h);

// Creates the control socket and binds it at /tmp/airtally_ctrl_<pid>.
// That name is predictable, so what already holds it decides:
// - a socket file of ours that nobody listens on (an earlier process with
//   this pid) is stale: it is replaced;
// - a socket of ours in use (another handle of this process) fails, as one
//   handle per process is the rule: "bind: Address already in use";
// - anything else (another user's file, not a socket, a link) is left
//   alone, and the socket goes into a fresh private directory
//   /tmp/airtally_ctrl_<pid>.XXXXXX instead, with one line saying so.
// 0, or -1 after the perror line with nothing left open.
int ctrl_open(airtally::CtrlPart *ctrl);
// Closes the socket and removes its file (and private directory) if we
// made them; a closed part is left as it is.
void ctrl_close(airtally::CtrlPart *ctrl);

// Opens the generic-netlink socket and resolves nl80211; 0, or -1 after the
// messages with nothing left open.
int nl_open(airtally::NlPart *nl);
void nl_close(airtally::NlPart *nl);

} // namespace airtally
