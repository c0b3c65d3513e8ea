// SPDX-License-Identifier: MIT
#include "ws_client.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace wdtest
{

namespace
{

using Clock = std::chrono::steady_clock;

int connect_loopback(int port, int rcvbuf, const char *source = nullptr)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (rcvbuf > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    if (source != nullptr && (inet_pton(AF_INET, source, &from.sin_addr) != 1 ||
                              bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0)) {
        ::close(fd);
        return -1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool send_all(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Reads into buf until pred(buf) or the deadline; false on time-out or EOF.
template <typename Pred>
bool read_until(int fd, std::string &buf, Pred pred, Clock::time_point deadline)
{
    while (!pred(buf)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char chunk[16384];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        buf.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

size_t content_length(const std::string &headers)
{
    std::string lower = headers;
    for (char &c : lower)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const size_t at = lower.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : strtoul(lower.c_str() + at + 17, nullptr, 10);
}

// Reads one HTTP reply head (and its body when it has a length and answers
// no HEAD); what follows the head stays in buf.
bool read_reply(int fd, std::string &buf, HttpReply &reply, bool with_body,
                Clock::time_point deadline, bool head = false)
{
    if (!read_until(
            fd, buf, [](const std::string &b) { return b.find("\r\n\r\n") != std::string::npos; },
            deadline))
        return false;
    const size_t end = buf.find("\r\n\r\n");
    reply.headers = buf.substr(0, end + 2);
    buf.erase(0, end + 4);
    if (sscanf(reply.headers.c_str(), "HTTP/1.%*d %d", &reply.status) != 1)
        return false;
    if (!with_body && reply.status == 101)
        return true;
    const size_t len = head ? 0 : content_length(reply.headers);
    if (!read_until(
            fd, buf, [len](const std::string &b) { return b.size() >= len; }, deadline))
        return false;
    reply.body = buf.substr(0, len);
    buf.erase(0, len);
    return true;
}

// A Host among the extra headers replaces the usual one.
std::string request(std::string_view path, int port, const std::vector<std::string> &extra,
                    std::string_view method = "GET")
{
    std::string r = std::string(method) + " " + std::string(path) + " HTTP/1.1\r\n";
    if (std::ranges::none_of(extra, [](const std::string &h) { return h.starts_with("Host:"); }))
        r += "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    for (const std::string &h : extra)
        r += h + "\r\n";
    return r;
}

} // namespace

HttpReply http_get(int port, std::string_view path, const std::vector<std::string> &extra_headers,
                   int timeout_ms)
{
    return http_request(port, "GET", path, extra_headers, timeout_ms);
}

HttpReply http_request(int port, std::string_view method, std::string_view path,
                       const std::vector<std::string> &extra_headers, int timeout_ms)
{
    HttpReply reply;
    const int fd = connect_loopback(port, 0);
    if (fd < 0)
        return reply;
    const bool head = method == "HEAD";
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::string buf;
    if (!send_all(fd, request(path, port, extra_headers, method) + "Connection: close\r\n\r\n") ||
        !read_reply(fd, buf, reply, true, deadline, head)) {
        reply.status = 0;
    } else if (head) {
        // What came after the head anyway (there must be nothing) is kept.
        read_until(
            fd, buf, [](const std::string &) { return false; }, deadline);
        reply.body = buf;
    }
    ::close(fd);
    return reply;
}

HttpReply http_read_reply(int fd, int timeout_ms)
{
    HttpReply reply;
    std::string buf;
    if (!read_reply(fd, buf, reply, true, Clock::now() + std::chrono::milliseconds(timeout_ms)))
        reply.status = 0;
    return reply;
}

int tcp_connect_loopback(int port, const char *source)
{
    return connect_loopback(port, 0, source);
}

bool closed_by_server(int fd, int timeout_ms)
{
    pollfd p{fd, POLLIN, 0};
    char c;
    if (poll(&p, 1, timeout_ms) != 1)
        return false;
    const ssize_t n = recv(fd, &c, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

WsClient::~WsClient()
{
    close();
}

void WsClient::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool WsClient::open(int port, std::string_view path, const std::vector<std::string> &extra_headers,
                    int rcvbuf, int timeout_ms)
{
    close();
    reply_ = {};
    buffered_.clear();
    fd_ = connect_loopback(port, rcvbuf);
    if (fd_ < 0)
        return false;
    // The key is fixed: the client does not check the server's answer to it.
    const std::string req = request(path, port, extra_headers) +
                            "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                            "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Protocol: rfwatch\r\n\r\n";
    if (!send_all(fd_, req) ||
        !read_reply(fd_, buffered_, reply_, false,
                    Clock::now() + std::chrono::milliseconds(timeout_ms)) ||
        reply_.status != 101) {
        close();
        return false;
    }
    return true;
}

bool WsClient::fill(size_t need, int timeout_ms)
{
    return read_until(
        fd_, buffered_, [need](const std::string &b) { return b.size() >= need; },
        Clock::now() + std::chrono::milliseconds(timeout_ms));
}

bool WsClient::read(Message &out, int timeout_ms)
{
    out = {};
    for (;;) {
        if (fd_ < 0 || !fill(2, timeout_ms))
            return false;
        const auto b0 = static_cast<uint8_t>(buffered_[0]);
        const auto b1 = static_cast<uint8_t>(buffered_[1]);
        size_t head = 2;
        uint64_t len = b1 & 0x7f;
        if (len == 126)
            head = 4;
        else if (len == 127)
            head = 10;
        if (!fill(head, timeout_ms))
            return false;
        if (head > 2) {
            len = 0;
            for (size_t i = 2; i < head; i++)
                len = len << 8 | static_cast<uint8_t>(buffered_[i]);
        }
        if (b1 & 0x80) // servers never mask
            return false;
        if (!fill(head + len, timeout_ms))
            return false;
        const std::string payload = buffered_.substr(head, len);
        buffered_.erase(0, head + len);
        const int opcode = b0 & 0x0f;
        if (opcode == 0x8)
            return false;
        if (opcode == 0x1 || opcode == 0x2)
            out.binary = opcode == 0x2;
        if (opcode == 0x0 || opcode == 0x1 || opcode == 0x2) {
            out.data += payload;
            if (b0 & 0x80)
                return true;
        }
    }
}

bool WsClient::send_text(std::string_view text)
{
    if (fd_ < 0)
        return false;
    std::string frame;
    frame += static_cast<char>(0x81);
    if (text.size() < 126)
        frame += static_cast<char>(0x80 | text.size());
    else {
        frame += static_cast<char>(0x80 | 126);
        frame += static_cast<char>(text.size() >> 8);
        frame += static_cast<char>(text.size() & 0xff);
    }
    const uint8_t mask[4] = {0x12, 0x34, 0x56, 0x78};
    frame.append(reinterpret_cast<const char *>(mask), 4);
    for (size_t i = 0; i < text.size(); i++)
        frame += static_cast<char>(text[i] ^ mask[i % 4]);
    return send_all(fd_, frame);
}

bool read_text_with(WsClient &ws, int timeout_ms, std::string_view needle, std::string *text)
{
    WsClient::Message m;
    while (ws.read(m, timeout_ms))
        if (!m.binary && m.data.find(needle) != std::string::npos) {
            if (text)
                *text = m.data;
            return true;
        }
    return false;
}

} // namespace wdtest
