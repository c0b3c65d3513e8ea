#include "secret_file.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

// A password is a line, not a document.
constexpr size_t SECRET_MAX = 1024;

} // namespace

bool read_secret_file(const char *path, std::string &secret, std::string &error)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot read ") + path + ": " + strerror(errno);
        return false;
    }
    std::array<char, SECRET_MAX + 1> buf{};
    size_t len = 0;
    ssize_t n = 0;
    while (len < buf.size() && (n = read(fd, buf.data() + len, buf.size() - len)) > 0)
        len += static_cast<size_t>(n);
    const int read_errno = errno;
    close(fd);
    if (n < 0) {
        error = std::string("cannot read ") + path + ": " + strerror(read_errno);
        return false;
    }
    std::string_view text(buf.data(), len);
    text = text.substr(0, text.find('\n'));
    if (text.ends_with('\r'))
        text.remove_suffix(1);
    if (text.size() > SECRET_MAX || text.empty()) {
        error = std::string(path) + ": the first line must hold the password (1 to 1024 bytes)";
        return false;
    }
    secret = text;
    return true;
}
