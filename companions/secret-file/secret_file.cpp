// SPDX-License-Identifier: MIT
#include "secret_file.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

bool fail(std::string &error, const char *path, const std::string &why)
{
    error = std::string(path) + why;
    return false;
}

// A secret others can read or replace is no secret.
bool file_private(int fd, const char *path, std::string &error)
{
    struct stat st {
    };
    if (fstat(fd, &st) != 0)
        return fail(error, path, std::string(": ") + strerror(errno));
    if (!S_ISREG(st.st_mode))
        return fail(error, path, " is not a regular file");
    if (st.st_uid != geteuid() && st.st_uid != 0)
        return fail(error, path,
                    " belongs to uid " + std::to_string(st.st_uid) + ", neither this user (uid " +
                        std::to_string(geteuid()) + ") nor root");
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        char mode[8];
        snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return fail(error, path,
                    std::string(" is open to group or others (mode ") + mode + "): chmod 600 " +
                        path);
    }
    return true;
}

} // namespace

bool read_secret_file(const char *path, SecretAccess access, std::string &secret,
                      std::string &error)
{
    const FileFd file(open(path, O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) {
        error = std::string("cannot read ") + path + ": " + strerror(errno);
        return false;
    }
    if (access == SecretAccess::Private && !file_private(file.fd, path, error))
        return false;
    // One byte more than a secret may take, to tell a full line from a cut one.
    std::array<char, SECRET_MAX + 2> buf{};
    size_t len = 0;
    while (len < buf.size()) {
        const ssize_t n = read(file.fd, buf.data() + len, buf.size() - len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::string("cannot read ") + path + ": " + strerror(errno);
            return false;
        }
        if (n == 0)
            break;
        len += static_cast<size_t>(n);
    }
    std::string_view text(buf.data(), len);
    text = text.substr(0, text.find('\n'));
    if (text.ends_with('\r'))
        text.remove_suffix(1);
    if (text.size() > SECRET_MAX)
        return fail(error, path,
                    ": the first line is too long for a secret (over " +
                        std::to_string(SECRET_MAX) + " bytes)");
    if (text.empty())
        return fail(error, path, " holds no secret: its first line is empty");
    secret = text;
    return true;
}
