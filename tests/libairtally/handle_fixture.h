// SPDX-License-Identifier: MIT
// A library handle with empty lists and nothing opened, for tests that feed
// the handlers or talk to stand-in daemons directly.
#pragma once

#include "guards.h"
#include "handle.h"

#include <vector>

using HandlePtr = airtally::FreePtr<radiostats, airtally::handle_free>;

inline HandlePtr bare_handle()
{
    return HandlePtr(airtally::handle_new());
}

template <typename R> std::vector<R *> walk(R *head)
{
    std::vector<R *> out;
    for (R *r = head->next; r != head; r = r->next) {
        out.push_back(r);
        if (out.size() > 1000) // a broken list would loop forever
            break;
    }
    return out;
}

// Also checks the back links, which free-all depends on.
template <typename R> bool links_consistent(R *head)
{
    R *prev = head;
    for (R *r = head->next; r != head; prev = r, r = r->next)
        if (r->prev != prev)
            return false;
    return head->prev == prev;
}
