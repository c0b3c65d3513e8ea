// SPDX-License-Identifier: MIT
// What waits to be sent to one browser, in fixed memory: the newest few
// frames (a slow browser loses the oldest, never holds up the daemon or the
// other browsers), a few text messages, which go first, and the air lines,
// the newest of each centre frequency, which go between them.
#pragma once

#include "frame.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <libwebsockets.h>
#include <string_view>

constexpr size_t BROWSER_FRAMES = 8;
constexpr size_t BROWSER_TEXTS = 8;
constexpr size_t BROWSER_TEXT_MAX = 1024;
// A sweep's period ends with one air line per centre frequency, all in one
// read: the slots hold a sweep of the band's channels. An air line of 12
// signals and 8 channels is under 3.7 kB.
constexpr size_t BROWSER_AIRS = 16;
constexpr size_t BROWSER_AIR_MAX = 4096;

// LWS_PRE bytes before each payload are lws_write()'s room for the header.
struct FrameSlot {
    std::array<unsigned char, LWS_PRE + FRAME_HEADER_SIZE + 2 * FRAME_MAX_BINS> buf;
    size_t len;
};
struct TextSlot {
    std::array<unsigned char, LWS_PRE + BROWSER_TEXT_MAX> buf;
    size_t len;
};

struct AirSlot {
    std::array<unsigned char, LWS_PRE + BROWSER_AIR_MAX> buf;
    size_t len;
    uint16_t freq_mhz;
};

struct BrowserQueue {
    std::array<FrameSlot, BROWSER_FRAMES> frames;
    size_t frame_head, frame_count;
    uint64_t frames_lost; // overwritten before they were sent
    std::array<TextSlot, BROWSER_TEXTS> texts;
    size_t text_head, text_count;
    uint64_t texts_lost;
    std::array<AirSlot, BROWSER_AIRS> airs;
    size_t air_head, air_count;
    uint64_t airs_lost; // overwritten before they were sent (not those replaced by a newer one)
};

void browser_queue_reset(BrowserQueue &q);
// Full: the oldest unsent frame is overwritten.
void browser_queue_frame(BrowserQueue &q, const SpectrumFrame &f);
// Full: the oldest unsent text is dropped. false: text longer than
// BROWSER_TEXT_MAX (not queued).
bool browser_queue_text(BrowserQueue &q, std::string_view text);
// An air message of freq_mhz takes the place of an unsent one of the same
// frequency (the page keeps only the newest), else joins the end; full: the
// oldest is dropped. false: longer than BROWSER_AIR_MAX (not queued).
bool browser_queue_air(BrowserQueue &q, uint16_t freq_mhz, std::string_view text);

struct Outgoing {
    unsigned char *payload; // LWS_PRE writable bytes precede it
    size_t len;
    bool binary;
};
// The next message (texts, then air, then frames); false when nothing waits.
bool browser_queue_front(BrowserQueue &q, Outgoing &out);
// Removes the message browser_queue_front() returned.
void browser_queue_pop(BrowserQueue &q, const Outgoing &sent);
bool browser_queue_empty(const BrowserQueue &q);
bool browser_queue_has_text(const BrowserQueue &q);
// Forgets the unsent frames and air (the browser chose another radio).
void browser_queue_drop_frames(BrowserQueue &q);
