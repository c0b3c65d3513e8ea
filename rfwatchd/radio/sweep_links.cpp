// SPDX-License-Identifier: MIT
#include "radio/sweep_links.h"

#include "base/log.h"
#include "radio/link_state.h"

namespace
{

void bring_marked_up(RadioControl &rc, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++)
        if (rc.primary_was_up[i] & 1)
            set_link_up(rc.primaries[i], true);
}

} // namespace

RadioError take_primaries_down(RadioControl &rc)
{
    for (uint32_t i = 0; i < rc.primary_count && i < MAX_PRIMARIES; i++) {
        const InterfaceInfo &primary = rc.primaries[i];
        RadioError err = query_link_up(primary, rc.primary_was_up[i]);
        if (err == RadioError::Success) {
            log_text("Interface %s (idx=%d) state: %s\n", primary.name, primary.ifindex,
                     (rc.primary_was_up[i] & 1) ? "UP" : "DOWN");
            err = set_link_up(primary, false);
            if (err != RadioError::Success)
                log_text("Failed to bring down primary interface\n");
        } else {
            log_text("Failed to query primary interface state\n");
        }
        if (err != RadioError::Success) {
            // A sweep that cannot start must not leave the access point off
            // the air.
            bring_marked_up(rc, i);
            return err;
        }
    }
    return RadioError::Success;
}

void restore_links(RadioControl &rc)
{
    if (rc.primary_count == 0)
        return;
    bring_marked_up(rc, rc.primary_count < MAX_PRIMARIES ? rc.primary_count : MAX_PRIMARIES);
    set_link_up(rc.monitor, false);
}
