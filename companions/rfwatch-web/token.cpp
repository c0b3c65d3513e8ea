#include "token.h"

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

// The token travels in a URL and a cookie and is compared as it stands, so
// a character either would encode could never match: refuse it up front
// rather than lock every browser out.
bool url_safe_char(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_' || c == '.' || c == '~';
}

bool url_safe(std::string_view s)
{
    return std::ranges::all_of(s, url_safe_char);
}

bool write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
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
    unsigned char raw[TOKEN_HEX_CHARS / 2];
    size_t got = 0;
    while (got < sizeof raw) {
        ssize_t n = getrandom(raw + got, sizeof raw - got, 0);
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
    for (unsigned char b : raw) {
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

bool read_token_file(const char *path, std::string &token, std::string &error)
{
    Fd file(open(path, O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) {
        error = std::string("cannot read the token file ") + path + ": " + strerror(errno);
        return false;
    }
    char buffer[TOKEN_FILE_MAX + 1];
    size_t got = 0;
    while (got < sizeof buffer) {
        ssize_t n = read(file.fd, buffer + got, sizeof buffer - got);
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
        error = std::string("the token file ") + path + " is too long for a token";
        return false;
    }
    std::string_view text = trim(std::string_view(buffer, got));
    if (text.empty()) {
        error = std::string("the token file ") + path + " is empty";
        return false;
    }
    if (!url_safe(text)) {
        error = std::string("the token in ") + path +
                " may hold only letters, digits, '-', '_', '.' and '~'";
        return false;
    }
    token.assign(text);
    return true;
}

} // namespace

bool token_load_or_create(const char *path, std::string &token, std::string &error)
{
    token.clear();
    error.clear();
    // O_EXCL: if another process made the file meanwhile, read its token
    // rather than replace it under the browsers already using it.
    Fd created(open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR));
    if (created.fd >= 0)
        return fill_new_file(created.fd, path, token, error);
    if (errno != EEXIST) {
        error = std::string("cannot create the token file ") + path + ": " + strerror(errno);
        return false;
    }
    return read_token_file(path, token, error);
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

namespace
{

// Calls match(name, value) for each item of text split at sep, blanks
// around the item removed; true as soon as one matches.
template <typename Match> bool any_pair(std::string_view text, char sep, Match match)
{
    while (!text.empty()) {
        size_t cut = text.find(sep);
        std::string_view item = trim(text.substr(0, cut));
        text = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);
        size_t eq = item.find('=');
        if (eq != std::string_view::npos && match(item.substr(0, eq), item.substr(eq + 1)))
            return true;
    }
    return false;
}

} // namespace

bool token_in_query(std::string_view query, std::string_view token)
{
    if (token.empty())
        return false; // no token set up: nothing can match it
    if (!query.empty() && query.front() == '?')
        query.remove_prefix(1);
    return any_pair(query, '&', [token](std::string_view name, std::string_view value) {
        return name == "token" && token_equal(value, token);
    });
}

bool token_in_cookie(std::string_view cookie_header, std::string_view token)
{
    if (token.empty())
        return false;
    return any_pair(cookie_header, ';', [token](std::string_view name, std::string_view value) {
        // A cookie value may be sent in double quotes.
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return name == TOKEN_COOKIE_NAME && token_equal(value, token);
    });
}
