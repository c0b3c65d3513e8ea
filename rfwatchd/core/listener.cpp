// SPDX-License-Identifier: MIT
#include "core/listener.h"

#include "base/fd_guard.h"
#include "base/log.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

int open_listening_socket(const char *path)
{
    FdGuard fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) {
        log_text("Failed to get socket\n");
        return -1;
    }
    sockaddr_un addr{};
    static_assert(sizeof addr.sun_path == MAX_SOCKET_PATH + 1);
    if (strlen(path) > MAX_SOCKET_PATH) {
        log_text("Socket path is too long: %s\n", path);
        log_text("Failed to get socket\n");
        return -1;
    }
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path, strlen(path) + 1);
    // A socket left by an earlier run would make bind fail, so it goes;
    // any other kind of file is someone's data (a mistyped -s), so it
    // stays and bind reports the path as taken.
    struct stat st {
    };
    if (lstat(path, &st) == 0 && S_ISSOCK(st.st_mode))
        unlink(path);
    if (bind(fd.get(), reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) {
        log_text("Error binding: %s\n", strerror(errno));
        log_text("Failed to get socket\n");
        return -1;
    }
    if (listen(fd.get(), LISTEN_BACKLOG) != 0) {
        log_text("Listen error: %s\n", strerror(errno));
        return -1;
    }
    return fd.release();
}
