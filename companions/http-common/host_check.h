// SPDX-License-Identifier: MIT
// Which names a request may give in its Host header. A page from another
// site reaches a server on loopback by DNS rebinding: its own name comes to
// resolve to 127.0.0.1, and the browser, believing it still talks to that
// site, lets the page read the answers. The Host header keeps that name, so
// answering only the names this server is known by closes the way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// --allow-host's argument: a host name or address literal ([IPv6]), with
// :PORT or without.
bool host_name_valid(std::string_view name_and_port);

// host: the header's value. Allowed: the listen address itself (any address
// literal when it is a wildcard, 0.0.0.0 or ::) or localhost, each with the
// port listened on (none given means 80); or an allowed entry, with its own
// port when it names one, with any when it does not (a port forward may put
// another in front). Names compare without regard to case.
bool host_allowed(std::string_view host, const std::string &listen_address, int listen_port,
                  const std::vector<std::string> &allowed);
