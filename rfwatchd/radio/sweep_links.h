// SPDX-License-Identifier: MIT
// Links around an active sweep: the primaries share the monitor's phy, so
// they go down while it is retuned and come back afterwards if they were up.
#pragma once

#include "radio/radio_control.h"
#include "radio/radio_error.h"

// Records each primary's up flag in primary_was_up and takes it down, in
// order. On a failure the primaries already taken down that were up are
// brought back up before the error is returned.
RadioError take_primaries_down(RadioControl &rc);

// Brings up, in order, the primaries marked as up, then takes the monitor
// down. Nothing is done without primaries, so the monitor stays up.
// Failures are written by the link operations and otherwise ignored.
void restore_links(RadioControl &rc);
