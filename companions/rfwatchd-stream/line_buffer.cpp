// SPDX-License-Identifier: MIT
#include "line_buffer.h"

#include <algorithm>
#include <cstring>

void line_buffer_reset(LineBuffer &b)
{
    b.len = 0;
    b.overlong = false;
}

void line_buffer_feed(LineBuffer &b, std::span<const char> data, LineSink sink, void *context)
{
    while (!data.empty()) {
        const auto nl = std::find(data.begin(), data.end(), '\n');
        const size_t piece = static_cast<size_t>(nl - data.begin());
        const bool complete = nl != data.end();
        if (!b.overlong && b.len + piece > b.bytes.size()) {
            b.overlong = true;
            b.overlongs++;
        }
        if (!b.overlong) {
            memcpy(b.bytes.data() + b.len, data.data(), piece);
            b.len += piece;
        }
        if (complete) {
            if (!b.overlong)
                sink(context, std::string_view(b.bytes.data(), b.len));
            b.len = 0;
            b.overlong = false;
            data = data.subspan(piece + 1);
        } else
            data = {};
    }
}
