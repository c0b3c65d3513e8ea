// A stand-in for the signals' tracker until the tracker itself lands (this
// file goes then): it names the classes and keeps no signals, so the
// engine's floor, duty and channel figures can be built and tested alone.
#include "air/air_signal.h"

#include <cstring>

const char *air_class_name(AirClass cls)
{
    static constexpr const char *NAMES[] = {"unknown",    "wifi",       "microwave", "hopper",
                                            "narrowband", "continuous", "pulsed"};
    const auto i = static_cast<size_t>(cls);
    return i < sizeof NAMES / sizeof NAMES[0] ? NAMES[i] : "unknown";
}

void air_tracker_reset(AirTracker &tracker)
{
    memset(&tracker, 0, sizeof tracker);
}

void air_tracker_update(AirTracker &tracker, const AirReport &report, uint32_t &next_id)
{
    (void)tracker;
    (void)report;
    (void)next_id;
}
