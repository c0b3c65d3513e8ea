// SPDX-License-Identifier: MIT
// Where a sweep stands in time, asked by the daemon's main loop on each pass.
#pragma once

#include "radio/radio_control.h"

bool sweep_active(const RadioControl &rc);
bool sweep_type_is(const RadioControl &rc, SweepType type);
// Updates remaining_ms on every call.
bool sweep_expired(RadioControl &rc);
bool sweep_finished(const RadioControl &rc);
bool hop_due(const RadioControl &rc);
