// SPDX-License-Identifier: MIT
// A refresh of a list gives exactly what the dumps report now, while the
// records the caller already holds stay where they are.
//
// The dump handlers fill the handle's own list head (so they work the same
// for a first fill and a refresh); meanwhile the held records wait aside.
// When every dump of the refresh succeeded, a held record whose key was
// reported takes the new values in place (same address, same position), one
// whose key was not reported is freed, and new keys go to the tail in dump
// order. After a failed dump nothing is known for sure, so the held list
// stays exactly as it was.
#pragma once

#include "list.h"

#include <cstdint>
#include <cstdlib>

namespace airtally
{

template <typename R> struct Refresh {
    R *list;
    R aside; // head of the held records while the dumps run
};

template <typename R> void refresh_begin(Refresh<R> *r, R *list)
{
    r->list = list;
    list_init(&r->aside);
    list_move_all(list, &r->aside);
}

// `carry(held, fresh)` may copy into `fresh` what the dumps do not report
// but the held record knew.
template <typename R, typename Carry>
void refresh_end(Refresh<R> *r, bool complete, uint32_t R::*key, Carry carry)
{
    R fresh;
    list_init(&fresh);
    list_move_all(r->list, &fresh);
    list_move_all(&r->aside, r->list);
    if (complete) {
        R *held = r->list->next;
        while (held != r->list) {
            R *succ = held->next;
            R *now = list_find(&fresh, [&](const R &f) { return f.*key == held->*key; });
            if (now) {
                carry(*held, *now);
                list_unlink(now);
                R *next = held->next;
                R *prev = held->prev;
                *held = *now;
                held->next = next;
                held->prev = prev;
                std::free(now);
            } else {
                list_unlink(held);
                std::free(held);
            }
            held = succ;
        }
        list_move_all(&fresh, r->list);
    }
    list_free_all(&fresh);
}

} // namespace airtally
