// ifward-listen: stands in for ifward's socket and prints each datagram
// that arrives, decoded, one line each.
#include "decode.h"
#include "send.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
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

constexpr option long_options[] = {
    {"socket", required_argument, nullptr, 's'},
    {"hex", no_argument, nullptr, 'x'},
    {"count", required_argument, nullptr, 'c'},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

constexpr char usage[] =
    "Usage: ifward-listen [-s <path>] [-x] [-c <count>]\n"
    "  -s, --socket <path>   - Socket to bind (default /run/ifward/ifward.sock)\n"
    "  -x, --hex             - Also print each datagram as hex\n"
    "  -c, --count <n>       - Exit after n datagrams (default: until a signal)\n"
    "  -h, --help            - Show this help message\n";

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
    const char *path = IFWARD_SOCKET_PATH;
    bool hex = false;
    long count = 0;
    int opt;
    while ((opt = getopt_long(argc, argv, "s:xc:h", long_options, nullptr)) != -1) {
        switch (opt) {
        case 's':
            path = optarg;
            break;
        case 'x':
            hex = true;
            break;
        case 'c':
            count = std::strtol(optarg, nullptr, 10);
            break;
        case 'h':
            std::fputs(usage, stdout);
            return 0;
        default:
            std::fputs(usage, stderr);
            return 1;
        }
    }

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
    for (long seen = 0; !stop_requested && (count <= 0 || seen < count);) {
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
        if (hex) {
            hex_dump(std::span(buf, got), dump, sizeof(dump));
            std::printf("%s\n", dump);
        }
    }
    close(fd);
    unlink(path);
    return 0;
}
