// SPDX-License-Identifier: MIT
// ifward-listen: stands in for ifward's socket and prints each datagram
// that arrives, decoded, one line each.
#include "cli.h"
#include "decode.h"
#include "send.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <libgen.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

volatile sig_atomic_t stop_requested = 0;
void on_signal(int /*signal*/)
{
    stop_requested = 1;
}

constexpr CliOption ROWS[] = {
    {"socket", 's', CliArg::Text, "<path>", "- Socket to bind (default /run/ifward/ifward.sock)"},
    {"hex", 'x', CliArg::None, nullptr, "- Also print each datagram as hex"},
    // 0, as before the count was checked, waits for a signal.
    {"count", 'c', CliArg::Whole, "<n>", "- Exit after n datagrams (default: until a signal)", 0,
     INT_MAX},
    {"help", 'h', CliArg::None, nullptr, "- Show this help message"},
    {"version", 'V', CliArg::None, nullptr, "- Show the version and the commit built"},
};
const CliProgram LISTEN_CLI = {"ifward-listen",
                               "print the datagrams sent to ifward's socket",
                               " [-s <path>] [-x] [-c <count>]\n",
                               {ROWS},
                               "",
                               21,
                               true};

struct Choice {
    const char *path = IFWARD_SOCKET_PATH;
    bool hex = false;
    long count = 0;
};

bool take(void *target, int key, const char *text, double number, std::string & /*error*/)
{
    Choice &c = *static_cast<Choice *>(target);
    if (key == 's')
        c.path = text;
    else if (key == 'x')
        c.hex = true;
    else // -c
        c.count = static_cast<long>(number);
    return true;
}

// Binds the socket, creating its directory and replacing a stale socket
// file; anything else already at the path is left alone.
int bind_socket(const char *path)
{
    sockaddr_un addr{};
    if (std::strlen(path) >= sizeof(addr.sun_path)) {
        std::fprintf(stderr, "Socket path too long: %s\n", path);
        return -1;
    }
    char dir[sizeof(addr.sun_path)];
    std::strcpy(dir, path);
    if (mkdir(dirname(dir), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "mkdir for %s failed: %s\n", path, std::strerror(errno));
        return -1;
    }
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::fprintf(stderr, "socket() failed: %s\n", std::strerror(errno));
        return -1;
    }
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path);
    // Never take the socket of a running ifward: only a stale file, one
    // that refuses connections, is removed.
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISSOCK(st.st_mode)) {
        int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        bool live = connect(probe, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0;
        close(probe);
        if (live) {
            std::fprintf(stderr, "%s is in use by another receiver\n", path);
            close(fd);
            return -1;
        }
        unlink(path);
    }
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) {
        std::fprintf(stderr, "bind(%s) failed: %s\n", path, std::strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int main(int argc, char **argv)
{
    Choice c;
    std::string error;
    const CliResult parsed = cli_parse(LISTEN_CLI, argc, argv, take, &c, error);
    if (const int status = cli_finish(LISTEN_CLI, parsed, "ifward-listen", error, 1); status >= 0)
        return status;
    const char *path = c.path;

    // Without SA_RESTART a signal ends the blocking receive.
    struct sigaction sa {
    };
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    setvbuf(stdout, nullptr, _IOLBF, 0);

    int fd = bind_socket(path);
    if (fd < 0)
        return 1;
    std::printf("Listening on %s\n", path);

    uint8_t buf[4096];
    char line[DECODED_LINE_MAX];
    static char dump[4 * sizeof(buf) + 512];
    for (long seen = 0; !stop_requested && (c.count == 0 || seen < c.count);) {
        ssize_t n = recv(fd, buf, sizeof(buf), MSG_TRUNC);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "recv() failed: %s\n", std::strerror(errno));
            break;
        }
        ++seen;
        std::size_t got = std::min(static_cast<std::size_t>(n), sizeof(buf));
        if (got < static_cast<std::size_t>(n))
            std::snprintf(line, sizeof(line), "unknown length=%zd", n);
        else
            decode_datagram(std::span(buf, got), line);
        std::printf("%s\n", line);
        if (c.hex) {
            hex_dump(std::span(buf, got), dump, sizeof(dump));
            std::printf("%s\n", dump);
        }
    }
    close(fd);
    unlink(path);
    return 0;
}
