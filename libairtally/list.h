// SPDX-License-Identifier: MIT
// Circular doubly-linked lists with a sentinel head, shared by the radio and
// interface records (both begin with next, prev).
#pragma once

#include <cstdint>
#include <cstdlib>

namespace airtally
{

template <typename R> void list_init(R *head)
{
    head->next = head;
    head->prev = head;
}

// Appends at the tail, so a list keeps the order of first appearance.
template <typename R> void list_append(R *head, R *rec)
{
    rec->prev = head->prev;
    rec->next = head;
    head->prev->next = rec;
    head->prev = rec;
}

template <typename R> void list_unlink(R *rec)
{
    rec->next->prev = rec->prev;
    rec->prev->next = rec->next;
}

// Moves every record of `from`, in order, to the tail of `to`; `from` is
// left empty. Heads live anywhere, so the end records are re-pointed.
template <typename R> void list_move_all(R *from, R *to)
{
    if (from->next == from)
        return;
    R *first = from->next;
    R *last = from->prev;
    first->prev = to->prev;
    to->prev->next = first;
    last->next = to;
    to->prev = last;
    list_init(from);
}

template <typename R, typename Pred> R *list_find(R *head, Pred matches)
{
    for (R *r = head->next; r != head; r = r->next)
        if (matches(*r))
            return r;
    return nullptr;
}

template <typename R> void list_free_all(R *head)
{
    R *r = head->next;
    while (r != head) {
        R *succ = r->next;
        list_unlink(r);
        std::free(r);
        r = succ;
    }
}

// Records are allocated zero-filled (callers read them as C structures and
// the library frees them with free()).
template <typename R> R *record_new()
{
    return static_cast<R *>(std::calloc(1, sizeof(R)));
}

// The record whose `key` member is `value`, or a new one with that key at
// the tail; nullptr when the allocation fails. Replies merge into records
// found this way, so each key is listed once.
template <typename R> R *list_find_or_add(R *head, uint32_t R::*key, uint32_t value)
{
    R *r = list_find(head, [key, value](const R &rec) { return rec.*key == value; });
    if (r)
        return r;
    r = record_new<R>();
    if (!r)
        return nullptr;
    r->*key = value;
    list_append(head, r);
    return r;
}

} // namespace airtally
