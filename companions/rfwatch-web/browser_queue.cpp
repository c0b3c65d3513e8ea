// SPDX-License-Identifier: MIT
#include "browser_queue.h"

#include <cstring>

void browser_queue_reset(BrowserQueue &q)
{
    q.frame_head = q.frame_count = 0;
    q.text_head = q.text_count = 0;
    q.air_head = q.air_count = 0;
    q.frames_lost = q.texts_lost = q.airs_lost = 0;
}

void browser_queue_frame(BrowserQueue &q, const SpectrumFrame &f)
{
    if (q.frame_count == BROWSER_FRAMES) {
        q.frame_head = (q.frame_head + 1) % BROWSER_FRAMES;
        q.frame_count--;
        q.frames_lost++;
    }
    FrameSlot &s = q.frames[(q.frame_head + q.frame_count) % BROWSER_FRAMES];
    memcpy(s.buf.data() + LWS_PRE, f.bytes.data(), f.size);
    s.len = f.size;
    q.frame_count++;
}

bool browser_queue_text(BrowserQueue &q, std::string_view text)
{
    if (text.size() > BROWSER_TEXT_MAX)
        return false;
    if (q.text_count == BROWSER_TEXTS) {
        q.text_head = (q.text_head + 1) % BROWSER_TEXTS;
        q.text_count--;
        q.texts_lost++;
    }
    TextSlot &s = q.texts[(q.text_head + q.text_count) % BROWSER_TEXTS];
    memcpy(s.buf.data() + LWS_PRE, text.data(), text.size());
    s.len = text.size();
    q.text_count++;
    return true;
}

bool browser_queue_air(BrowserQueue &q, uint16_t freq_mhz, std::string_view text)
{
    if (text.size() > BROWSER_AIR_MAX)
        return false;
    AirSlot *slot = nullptr;
    for (size_t i = 0; i < q.air_count && slot == nullptr; i++) {
        AirSlot &s = q.airs[(q.air_head + i) % BROWSER_AIRS];
        if (s.freq_mhz == freq_mhz)
            slot = &s;
    }
    if (slot == nullptr) {
        if (q.air_count == BROWSER_AIRS) {
            q.air_head = (q.air_head + 1) % BROWSER_AIRS;
            q.air_count--;
            q.airs_lost++;
        }
        slot = &q.airs[(q.air_head + q.air_count) % BROWSER_AIRS];
        q.air_count++;
    }
    memcpy(slot->buf.data() + LWS_PRE, text.data(), text.size());
    slot->len = text.size();
    slot->freq_mhz = freq_mhz;
    return true;
}

bool browser_queue_front(BrowserQueue &q, Outgoing &out)
{
    if (q.text_count > 0) {
        TextSlot &s = q.texts[q.text_head];
        out = {s.buf.data() + LWS_PRE, s.len, false};
        return true;
    }
    if (q.air_count > 0) {
        AirSlot &s = q.airs[q.air_head];
        out = {s.buf.data() + LWS_PRE, s.len, false};
        return true;
    }
    if (q.frame_count > 0) {
        FrameSlot &s = q.frames[q.frame_head];
        out = {s.buf.data() + LWS_PRE, s.len, true};
        return true;
    }
    return false;
}

void browser_queue_pop(BrowserQueue &q, const Outgoing &sent)
{
    if (!sent.binary && q.text_count > 0) {
        q.text_head = (q.text_head + 1) % BROWSER_TEXTS;
        q.text_count--;
    } else if (!sent.binary && q.air_count > 0) {
        q.air_head = (q.air_head + 1) % BROWSER_AIRS;
        q.air_count--;
    } else if (sent.binary && q.frame_count > 0) {
        q.frame_head = (q.frame_head + 1) % BROWSER_FRAMES;
        q.frame_count--;
    }
}

bool browser_queue_empty(const BrowserQueue &q)
{
    return q.text_count == 0 && q.air_count == 0 && q.frame_count == 0;
}

bool browser_queue_has_text(const BrowserQueue &q)
{
    return q.text_count > 0;
}

void browser_queue_drop_frames(BrowserQueue &q)
{
    q.frame_head = q.frame_count = 0;
    q.air_head = q.air_count = 0;
}
