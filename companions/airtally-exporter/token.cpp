#include "token.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace airtally_exporter
{

namespace
{

// A token file is a line, not a document: anything longer is a wrong path.
constexpr size_t kTokenFileMax = 4096;

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool printable(std::string_view s)
{
    return std::ranges::all_of(
        s, [](char c) { return static_cast<unsigned char>(c) > 0x20 && c != 0x7f; });
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && is_space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_space(s.back()))
        s.remove_suffix(1);
    return s;
}

bool equal_constant_time(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

bool token_read(const char *path, std::string &token, std::string &error)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot read the token file ") + path + ": " + strerror(errno);
        return false;
    }
    std::string text(kTokenFileMax + 1, '\0');
    size_t got = 0;
    ssize_t n;
    while (got < text.size() && (n = read(fd, text.data() + got, text.size() - got)) > 0)
        got += static_cast<size_t>(n);
    close(fd);
    if (got > kTokenFileMax) {
        error = std::string("the token file ") + path + " is longer than a token can be";
        return false;
    }
    const std::string_view t = trim(std::string_view(text.data(), got));
    if (t.empty() || !printable(t)) {
        error = std::string("the token file ") + path +
                (t.empty() ? " is empty" : " holds spaces or control characters");
        return false;
    }
    token = t;
    return true;
}

bool bearer_accepted(std::string_view authorization, std::string_view token)
{
    constexpr std::string_view kScheme = "bearer ";
    if (authorization.size() < kScheme.size())
        return false;
    for (size_t i = 0; i < kScheme.size(); ++i)
        if (tolower(static_cast<unsigned char>(authorization[i])) != kScheme[i])
            return false;
    return equal_constant_time(trim(authorization.substr(kScheme.size())), token);
}

} // namespace airtally_exporter
