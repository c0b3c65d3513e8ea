// SPDX-License-Identifier: MIT
// The ath11k FFT report parser (types 4 and 100).
#pragma once

#include "capture/report_parser.h"

// ath11k reports of type 4 (detector 0) and 100 (detector 1), after
// skipping any bytes that precede them; bins become dBm values. A
// ReportParser.
SourceError parse_ath11k_report(const uint8_t *data, size_t length, SpectralSample &sample,
                                size_t &consumed);
