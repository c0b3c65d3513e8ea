// SPDX-License-Identifier: MIT
// Delivery of one datagram to ifward: a fresh unbound socket per datagram,
// so the daemon never has an address to answer to.
#pragma once

#include <cstddef>
#include <span>

constexpr const char IFWARD_SOCKET_PATH[] = "/run/ifward/ifward.sock";

// A new unbound datagram socket for the caller's FdGuard; -1 after logging
// "socket() failed".
int datagram_socket_open();
// One sendto to the daemon's socket; logs the reason on failure.
bool datagram_socket_send(int fd, std::span<const std::byte> bytes);

// Open, send and close.
bool send_datagram(std::span<const std::byte> bytes);
