// SPDX-License-Identifier: MIT
#include "url_text.h"

namespace
{

bool unreserved(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_' || c == '.' || c == '~';
}

void append_encoded(std::string &out, char c)
{
    static constexpr char HEX[] = "0123456789ABCDEF";
    const auto b = static_cast<unsigned char>(c);
    out += '%';
    out += HEX[b >> 4];
    out += HEX[b & 15];
}

} // namespace

std::string url_path_text(std::string_view path)
{
    // A Location of "//host" would send the browser to another site.
    if (path.empty() || path.front() != '/' || path.starts_with("//"))
        return "/";
    std::string out;
    for (const char c : path)
        if (unreserved(c) || c == '/')
            out += c;
        else
            append_encoded(out, c);
    return out;
}

std::string url_arg_text(std::string_view arg)
{
    std::string out;
    bool named = false;
    for (const char c : arg) {
        if (c == '=' && !named) {
            named = true;
            out += c;
        } else if (unreserved(c))
            out += c;
        else
            append_encoded(out, c);
    }
    return out;
}
