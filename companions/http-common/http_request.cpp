// SPDX-License-Identifier: MIT
#include "http_request.h"

std::string http_header(struct lws *wsi, enum lws_token_indexes h)
{
    const int n = lws_hdr_total_length(wsi, h);
    if (n <= 0)
        return {};
    std::string value(static_cast<size_t>(n) + 1, '\0');
    const int got = lws_hdr_copy(wsi, value.data(), n + 1, h);
    value.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return value;
}
