// SPDX-License-Identifier: MIT
#include "namespaces.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace wdtest
{

namespace
{

bool fail(std::string *why, const std::string &what)
{
    if (why)
        *why = what + ": " + strerror(errno);
    return false;
}

bool write_proc(const char *path, const std::string &text)
{
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok;
}

// Maps the caller to root in a new user namespace, for machines where the
// tests do not run as root.
bool enter_user_namespace(std::string *why)
{
    uid_t uid = getuid();
    gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER) != 0)
        return fail(why, "unshare(CLONE_NEWUSER)");
    write_proc("/proc/self/setgroups", "deny");
    if (!write_proc("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
        !write_proc("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
        return fail(why, "writing the user namespace maps");
    return true;
}

bool in_user_ns = false;

} // namespace

bool enter_private_mounts(std::string *why)
{
    static bool done = false;
    if (done)
        return true;
    if (geteuid() != 0 && !in_user_ns) {
        if (!enter_user_namespace(why))
            return false;
        in_user_ns = true;
    }
    if (unshare(CLONE_NEWNS) != 0)
        return fail(why, "unshare(CLONE_NEWNS)");
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return fail(why, "making / private");
    done = true;
    return true;
}

bool enter_private_network(std::string *why)
{
    static bool done = false;
    if (done)
        return true;
    if (geteuid() != 0 && !in_user_ns) {
        if (!enter_user_namespace(why))
            return false;
        in_user_ns = true;
    }
    if (unshare(CLONE_NEWNET) != 0)
        return fail(why, "unshare(CLONE_NEWNET)");
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s >= 0) {
        ifreq ifr{};
        std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
        if (ioctl(s, SIOCGIFFLAGS, &ifr) == 0) {
            ifr.ifr_flags |= IFF_UP;
            ioctl(s, SIOCSIFFLAGS, &ifr);
        }
        close(s);
    }
    done = true;
    return true;
}

bool make_dirs(const std::string &path, std::string *why)
{
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                return fail(why, "mkdir " + part);
        }
    }
    return true;
}

bool mount_tmpfs(const std::string &path, std::string *why)
{
    if (!make_dirs(path, why))
        return false;
    if (mount("tmpfs", path.c_str(), "tmpfs", 0, "mode=0755") != 0)
        return fail(why, "mount tmpfs on " + path);
    return true;
}

bool leave_stale_socket(const std::string &path, std::string *why)
{
    sockaddr_un a{};
    if (path.size() >= sizeof a.sun_path)
        return fail(why, "socket path too long: " + path);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(why, "socket");
    a.sun_family = AF_UNIX;
    path.copy(a.sun_path, sizeof a.sun_path - 1);
    bool ok = bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(fd);
    return ok || fail(why, "bind " + path);
}

bool write_file(const std::string &path, std::string_view bytes, std::string *why)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(why, "open " + path);
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            close(fd);
            return fail(why, "write " + path);
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

bool read_file(const std::string &path, std::string &bytes)
{
    bytes.clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        bytes.append(buf, static_cast<size_t>(n));
    close(fd);
    return n == 0;
}

} // namespace wdtest
