// SPDX-License-Identifier: MIT
#include "unix_listen.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace wdtest
{

int listen_unix_stream(const std::string &path, std::string *why)
{
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) {
        if (why)
            *why = "socket path too long: " + path;
        return -1;
    }
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    unlink(path.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(fd, 8) != 0) {
        if (why)
            *why = "cannot listen on " + path + ": " + strerror(errno);
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

} // namespace wdtest
