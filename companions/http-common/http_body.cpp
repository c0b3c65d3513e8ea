#include "http_body.h"

#include <libwebsockets.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace
{
constexpr size_t BODY_CHUNK = 4096;
}

BodyStep write_body_chunk(lws *wsi, const unsigned char *data, size_t size, size_t &sent)
{
    std::array<unsigned char, LWS_PRE + BODY_CHUNK> buf;
    const size_t n = std::min(BODY_CHUNK, size - sent);
    memcpy(buf.data() + LWS_PRE, data + sent, n);
    const bool last = sent + n == size;
    if (lws_write(wsi, buf.data() + LWS_PRE, n, last ? LWS_WRITE_HTTP_FINAL : LWS_WRITE_HTTP) <
        static_cast<int>(n))
        return BodyStep::Failed;
    sent += n;
    if (last)
        return BodyStep::Done;
    lws_callback_on_writable(wsi);
    return BodyStep::More;
}
