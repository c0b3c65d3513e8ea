// SPDX-License-Identifier: MIT
#include "access_token.h"

#include "secret_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

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

bool read_token_file(const char *path, TokenCharset charset, std::string &token, std::string &error)
{
    std::string line;
    if (!read_secret_file(path, SecretAccess::Private, line, error)) {
        error = "the token file: " + error;
        return false;
    }
    const std::string_view text = trim_blanks(line);
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
        const FileFd created(
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

std::string_view trim_blanks(std::string_view s)
{
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
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
