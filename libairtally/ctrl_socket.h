// SPDX-License-Identifier: MIT
// Requests over the handle's control socket to the hostapd and wpa_supplicant
// control interfaces: one datagram each way.
#pragma once

#include "handle.h"

#include <cstddef>

namespace airtally
{

// How long a daemon may take to answer one request.
constexpr int kCtrlReplyTimeoutSec = 2;

// Points the control socket at the daemon socket `path`. 0, or -1 after
// the "non-existant" line (missing file) or the "connect" perror line, both
// on standard error: standard output is the caller's.
int ctrl_connect(CtrlPart *ctrl, const char *path);

// Sends `cmd` and receives one reply into reply[size], NUL-terminated;
// the reply is empty after a failure (and its perror line: "setsockopt"
// when the receive time-out cannot be set, then nothing is sent).
void ctrl_request(CtrlPart *ctrl, const char *cmd, char *reply, size_t size);

} // namespace airtally
