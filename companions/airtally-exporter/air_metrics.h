// SPDX-License-Identifier: MIT
// The radios' air analysis as Prometheus metrics (wifidiag_air_*), written
// with the exporter's one exposition code after libairtally's metrics.
#pragma once

#include "air_radios.h"

#include <span>
#include <string>

namespace airtally_exporter
{

// Nothing at all for no radios, so an exporter without --rfwatchd answers
// as it always did.
void append_air_metrics(std::string &out, std::span<const AirRadio *const> radios);

} // namespace airtally_exporter
