// SPDX-License-Identifier: MIT
// A TCP port on 127.0.0.1 that nothing listens on right now, for servers
// the tests start (the kernel picks it, so parallel tests do not collide).
#pragma once

namespace wdtest
{

// 0 when none could be had.
int free_loopback_port();

} // namespace wdtest
