#pragma once
// One chunk of an HTTP body per writable turn, so a large body never
// stalls the one event loop the companions share with their other clients.
#include <cstddef>

struct lws;

enum class BodyStep { Failed, More, Done };

// Writes the next chunk of [data, data + size) from `sent` on, and moves
// `sent` past it. More: the connection has been asked for another writable
// turn. Done: the final chunk went (the caller completes the transaction).
BodyStep write_body_chunk(lws *wsi, const unsigned char *data, size_t size, size_t &sent);
