// SPDX-License-Identifier: MIT
// Reading what a request carries, for every HTTP companion's handlers and
// for the gate that looks at the Host before anything is served.
#pragma once

#include <libwebsockets.h>
#include <string>

// The header's value, "" when absent.
std::string http_header(struct lws *wsi, enum lws_token_indexes h);
