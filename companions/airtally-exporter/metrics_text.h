// SPDX-License-Identifier: MIT
// The exporter's whole answer to a scrape: libairtally's radios and
// interfaces and the exporter's own counters as Prometheus metrics.
#pragma once

#include "airtally.h"

#include <array>
#include <cstdint>
#include <string>

namespace airtally_exporter
{

// Where a scrape error came from; each is a value of the errors counter's
// "source" label.
enum class ErrorSource { Init, Nl80211, ControlSocket, Count };
constexpr size_t ERROR_SOURCES = static_cast<size_t>(ErrorSource::Count);
const char *error_source_name(ErrorSource s);

struct ExporterCounters {
    uint64_t scrapes = 0; // including the one being answered
    std::array<uint64_t, ERROR_SOURCES> errors{};
    double scrape_seconds = 0; // the library's part of the one being answered
};

// radios and vaps are list heads as the library returns them (an empty list
// is a head that points at itself).
std::string render_metrics(const radio_stat *radios, const vap_stat *vaps,
                           const ExporterCounters &counters);

} // namespace airtally_exporter
