// SPDX-License-Identifier: MIT
// Real interfaces for the link-state component tests: a veth pair in the
// test's private network namespace, and the interface flags as the kernel
// reports them (read and set with ioctls, independently of the code under
// test).
#pragma once

#include "radio/radio_control.h"

#include <string>

namespace radiotest
{

// Enters a private network namespace and creates the pair there; false with
// the reason when either cannot be had.
bool make_veth_pair(const std::string &name, const std::string &peer, std::string *why);

// Deletes the pair (either end names it).
void delete_veth_pair(const std::string &name);

// IFF_* flags of name, or -1 when they cannot be read.
long interface_flags(const std::string &name);

// Sets (on) or clears the given IFF_* flags, leaving the others.
bool change_interface_flags(const std::string &name, unsigned flags, bool on);

// An InterfaceInfo for an existing interface, as discovery would fill it.
InterfaceInfo interface_info(const std::string &name);

} // namespace radiotest
