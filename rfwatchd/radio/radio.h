// Everything the daemon uses of radio control.
#pragma once

#include "radio/channel_plan.h"
#include "radio/channel_set.h"
#include "radio/current_channel.h"
#include "radio/discovery.h"
#include "radio/link_state.h"
#include "radio/radio_control.h"
#include "radio/radio_error.h"
#include "radio/sweep.h"
#include "radio/sweep_timing.h"
