// SPDX-License-Identifier: MIT
// The ath10k FFT report parser (type 3).
#pragma once

#include "capture/report_parser.h"

// ath10k reports of type 3 starting at the first byte; bins are the raw
// magnitudes. A ReportParser.
SourceError parse_ath10k_report(const uint8_t *data, size_t length, SpectralSample &sample,
                                size_t &consumed);
