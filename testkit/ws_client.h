// SPDX-License-Identifier: MIT
// A tiny blocking HTTP and WebSocket client for component tests of servers
// on loopback: one request with chosen headers, or a WebSocket handshake
// followed by reading and sending messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wdtest
{

struct HttpReply {
    int status = 0;      // 0: no reply (connection failed or closed early)
    std::string headers; // the header lines, as received
    std::string body;
};

// GET path from 127.0.0.1:port; extra_headers are "Name: value" lines (a
// Host among them replaces 127.0.0.1:port).
HttpReply http_get(int port, std::string_view path,
                   const std::vector<std::string> &extra_headers = {}, int timeout_ms = 10000);

// The same with any method, over a connection the server closes after it;
// a HEAD reply's body is what came after the head until then.
HttpReply http_request(int port, std::string_view method, std::string_view path,
                       const std::vector<std::string> &extra_headers = {}, int timeout_ms = 10000);

// The reply to a request sent on fd by hand.
HttpReply http_read_reply(int fd, int timeout_ms = 10000);

// A TCP connection to 127.0.0.1:port from the loopback address source
// (nullptr: the kernel's choice, 127.0.0.1), so that a test can be several
// peers; -1 on failure.
int tcp_connect_loopback(int port, const char *source = nullptr);

// Waits up to timeout_ms for the server to close fd; true when it did (a
// reset when what the client sent was never read).
bool closed_by_server(int fd, int timeout_ms);

class WsClient
{
  public:
    struct Message {
        bool binary = false;
        std::string data;
    };

    WsClient() = default;
    WsClient(const WsClient &) = delete;
    WsClient &operator=(const WsClient &) = delete;
    ~WsClient();

    // Handshake on path with extra header lines (Origin, Cookie, ...). true
    // when the server switched protocols; otherwise reply() holds its answer.
    // rcvbuf > 0 shrinks the socket's receive buffer first (a slow reader).
    bool open(int port, std::string_view path, const std::vector<std::string> &extra_headers = {},
              int rcvbuf = 0, int timeout_ms = 10000);
    const HttpReply &reply() const { return reply_; }

    // The next text or binary message (pings and pongs are skipped); false
    // on time-out, close or error.
    bool read(Message &out, int timeout_ms);
    bool send_text(std::string_view text);
    void close();

  private:
    bool fill(size_t need, int timeout_ms); // until buffered_ holds need bytes
    int fd_ = -1;
    std::string buffered_;
    HttpReply reply_;
};

// Reads until a text message holding needle, skipping frames and other
// texts on the way; that message's text into *text. false on time-out or
// close.
bool read_text_with(WsClient &ws, int timeout_ms, std::string_view needle,
                    std::string *text = nullptr);

} // namespace wdtest
