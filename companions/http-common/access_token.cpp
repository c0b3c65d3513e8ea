#include "access_token.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// A token file is a line, not a document; more than this is not a token.
constexpr size_t TOKEN_FILE_MAX = 1024;

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd()
    {
        if (fd >= 0)
            close(fd);
    }
};

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool url_safe_char(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_' || c == '.' || c == '~';
}

bool printable_char(char c)
{
    return static_cast<unsigned char>(c) > 0x20 && c != 0x7f;
}

bool hex_char(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string path_says(const char *path, const char *what)
{
    return std::string("the token file ") + path + what;
}

bool write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool random_token(std::string &token, std::string &error)
{
    unsigned char raw[TOKEN_MIN_HEX_CHARS / 2];
    size_t got = 0;
    while (got < sizeof raw) {
        const ssize_t n = getrandom(raw + got, sizeof raw - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = std::string("no random bytes for a token: ") + strerror(errno);
            return false;
        }
        got += static_cast<size_t>(n);
    }
    static constexpr char HEX[] = "0123456789abcdef";
    token.clear();
    for (const unsigned char b : raw) {
        token += HEX[b >> 4];
        token += HEX[b & 15];
    }
    return true;
}

// fd: the file just made with O_EXCL. A failure removes it, so that the next
// start makes a fresh one instead of refusing a half-written file.
bool fill_new_file(int fd, const char *path, std::string &token, std::string &error)
{
    bool ok = random_token(token, error);
    if (ok &&
        (fchmod(fd, S_IRUSR | S_IWUSR) != 0 || !write_all(fd, token + "\n") || fsync(fd) != 0)) {
        error = std::string("cannot write the token file ") + path + ": " + strerror(errno);
        ok = false;
    }
    if (!ok)
        unlink(path);
    return ok;
}

// Whose the open file is and who else may read it: a token others can read
// or replace is no secret.
bool file_private(int fd, const char *path, std::string &error)
{
    struct stat st {
    };
    if (fstat(fd, &st) != 0) {
        error = std::string("cannot read the token file ") + path + ": " + strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path_says(path, " is not a regular file");
        return false;
    }
    if (st.st_uid != geteuid() && st.st_uid != 0) {
        error = path_says(path, " belongs to uid ") + std::to_string(st.st_uid) +
                ", neither this user (uid " + std::to_string(geteuid()) + ") nor root";
        return false;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        char mode[8];
        snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        error =
            path_says(path, " is open to group or others (mode ") + mode + "): chmod 600 " + path;
        return false;
    }
    return true;
}

bool read_token_file(const char *path, TokenCharset charset, std::string &token, std::string &error)
{
    const Fd file(open(path, O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) {
        error = std::string("cannot read the token file ") + path + ": " + strerror(errno);
        return false;
    }
    if (!file_private(file.fd, path, error))
        return false;
    char buffer[TOKEN_FILE_MAX + 1];
    size_t got = 0;
    while (got < sizeof buffer) {
        const ssize_t n = read(file.fd, buffer + got, sizeof buffer - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::string("cannot read the token file ") + path + ": " + strerror(errno);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    if (got > TOKEN_FILE_MAX) {
        error = path_says(path, " is too long for a token");
        return false;
    }
    const std::string_view text = trim(std::string_view(buffer, got));
    if (text.empty()) {
        error = path_says(path, " is empty");
        return false;
    }
    const bool url_safe = charset == TokenCharset::UrlSafe;
    if (!std::ranges::all_of(text, url_safe ? url_safe_char : printable_char)) {
        error = std::string("the token in ") + path +
                (url_safe ? " may hold only letters, digits, '-', '_', '.' and '~'"
                          : " holds spaces or control characters");
        return false;
    }
    if (!token_strong_enough(text)) {
        error = std::string("the token in ") + path + " is too short (" +
                std::to_string(text.size()) + " characters) to hold 128 bits: it needs " +
                std::to_string(TOKEN_MIN_HEX_CHARS) + " hex digits, or " +
                std::to_string(TOKEN_MIN_OTHER_CHARS) + " characters of base64";
        return false;
    }
    token.assign(text);
    return true;
}

} // namespace

bool token_strong_enough(std::string_view token)
{
    const bool hex = std::ranges::all_of(token, hex_char);
    return token.size() >= (hex ? TOKEN_MIN_HEX_CHARS : TOKEN_MIN_OTHER_CHARS);
}

bool token_file_load(const char *path, TokenCharset charset, bool create_missing,
                     std::string &token, std::string &error)
{
    token.clear();
    error.clear();
    if (create_missing) {
        // O_EXCL: if another process made the file meanwhile, read its token
        // rather than replace it under the browsers already using it.
        const Fd created(
            open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR));
        if (created.fd >= 0)
            return fill_new_file(created.fd, path, token, error);
        if (errno != EEXIST) {
            error = std::string("cannot create the token file ") + path + ": " + strerror(errno);
            return false;
        }
    }
    return read_token_file(path, charset, token, error);
}

bool token_equal(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    unsigned char differ = 0;
    for (size_t i = 0; i < a.size(); i++)
        differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}
