// SPDX-License-Identifier: MIT
// A path and query arguments, as lws hands them over decoded, written back
// into a URL (the redirect that drops the token from the address).
#pragma once

#include <string>
#include <string_view>

// Percent-encoded but for '/' and unreserved characters; a path that would
// name another host ("//host/...") or is not absolute becomes "/".
std::string url_path_text(std::string_view path);

// "name=value" with both percent-encoded but the first '='.
std::string url_arg_text(std::string_view arg);
