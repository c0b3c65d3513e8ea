// SPDX-License-Identifier: MIT
// The access token an HTTP companion requires: kept in a file only its user
// can read, long enough not to be guessed, compared in constant time.
#pragma once

#include <string>
#include <string_view>

// What a token may hold: rfwatch-web's travels in a URL and a cookie and is
// compared as it stands, so only characters neither would encode; a bearer
// token in a header may hold any printable character but a space.
enum class TokenCharset { UrlSafe, Printable };

// 128 bits of secret, counted by the token's alphabet: hex digits carry 4
// bits each, so a token of hex digits only needs 32 characters; any other
// token is taken as base64 (6 bits each) and needs 22.
constexpr size_t TOKEN_MIN_HEX_CHARS = 32;
constexpr size_t TOKEN_MIN_OTHER_CHARS = 22;
bool token_strong_enough(std::string_view token);

// Reads the token from path (surrounding whitespace trimmed). The file must
// be a regular file of this user's (or root's) that neither group nor others
// may read or write, and the token strong enough: otherwise false with error
// saying why and what to do. With create_missing, a missing file is created
// (mode 0600, exclusively, so a file made meanwhile by someone else is read,
// never replaced) holding 32 random hex digits and a newline.
bool token_file_load(const char *path, TokenCharset charset, bool create_missing,
                     std::string &token, std::string &error);

// s without the spaces and tabs around it: a token as written in a file or
// a header.
std::string_view trim_blanks(std::string_view s);

// Compares in time that depends on the lengths only, not on where they differ.
bool token_equal(std::string_view a, std::string_view b);
