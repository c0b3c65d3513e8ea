// The access token browsers must present when rfwatch-web listens beyond
// loopback: kept in a file, given once in the page's URL, then in a cookie.
#pragma once

#include <string>
#include <string_view>

constexpr size_t TOKEN_HEX_CHARS = 32;
constexpr const char *TOKEN_COOKIE_NAME = "rfwatch_token";

// Reads the token from path (surrounding whitespace trimmed; an empty file is
// refused). When path does not exist it is created (mode 0600, exclusively,
// so a file made meanwhile by someone else is read, never replaced) holding
// 32 random hex characters and a newline. false: error says why.
bool token_load_or_create(const char *path, std::string &token, std::string &error);

// query: the URL's query string without '?' ("a=1&token=...&b=2"). Tokens
// are hex, so the value is compared as it stands (no percent decoding).
bool token_in_query(std::string_view query, std::string_view token);
// cookie_header: the Cookie header's value ("a=1; rfwatch_token=...; b=2").
bool token_in_cookie(std::string_view cookie_header, std::string_view token);

// Compares in time that depends on the lengths only, not on where they differ.
bool token_equal(std::string_view a, std::string_view b);
