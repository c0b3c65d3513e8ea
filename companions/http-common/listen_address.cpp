// SPDX-License-Identifier: MIT
#include "listen_address.h"

#include <arpa/inet.h>
#include <cstdlib>

namespace
{

bool parse_port(const std::string &text, int &port)
{
    char *end = nullptr;
    const long v = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < 0 || v > 65535)
        return false;
    port = static_cast<int>(v);
    return true;
}

} // namespace

bool parse_listen(const std::string &arg, std::string &address, int &port)
{
    const size_t colon = arg.rfind(':');
    if (colon == std::string::npos)
        return parse_port(arg, port);
    std::string addr = arg.substr(0, colon);
    if (addr.size() >= 2 && addr.front() == '[' && addr.back() == ']')
        addr = addr.substr(1, addr.size() - 2);
    if (addr == "localhost")
        addr = "127.0.0.1";
    in6_addr probe{};
    if (inet_pton(AF_INET, addr.c_str(), &probe) != 1 &&
        inet_pton(AF_INET6, addr.c_str(), &probe) != 1)
        return false;
    int p = 0;
    if (!parse_port(arg.substr(colon + 1), p))
        return false;
    address = addr;
    port = p;
    return true;
}

bool is_loopback(const std::string &address)
{
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::string listening_line(const char *prog, const std::string &address, int port, const char *note)
{
    const bool v6 = address.find(':') != std::string::npos;
    return std::string(prog) + ": listening on " + (v6 ? "[" : "") + address + (v6 ? "]" : "") +
           ":" + std::to_string(port) + note + "\n";
}
