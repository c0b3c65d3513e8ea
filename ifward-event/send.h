// Delivery of one datagram to ifward: a fresh unbound socket per datagram,
// so the daemon never has an address to answer to.
#pragma once

#include <cstddef>
#include <span>

constexpr const char IFWARD_SOCKET_PATH[] = "/run/ifward/ifward.sock";

// Owns the descriptor of one datagram's socket.
struct DatagramSocket {
    int fd = -1;
    DatagramSocket() = default;
    DatagramSocket(const DatagramSocket &) = delete;
    DatagramSocket &operator=(const DatagramSocket &) = delete;
    ~DatagramSocket();
};

// Logs "socket() failed" on failure.
bool datagram_socket_open(DatagramSocket *s);
// One sendto to the daemon's socket; logs the reason on failure.
bool datagram_socket_send(DatagramSocket *s, std::span<const std::byte> bytes);

// Open, send and close.
bool send_datagram(std::span<const std::byte> bytes);
