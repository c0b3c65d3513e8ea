// SPDX-License-Identifier: MIT
// The ath11k report parser over any bytes, walked report by report as the
// sample source walks its buffer: consumed never passes the range and is
// never 0 for a judged report, a failure leaves the sample as it was, and a
// decoded sample has a valid bin count and finite values (-109 for a zero
// magnitude byte).
#include "capture/ath11k_report.h"
#include "sample_checks.h"

namespace
{

void check_result(SourceError r, const uint8_t *range, size_t, const SpectralSample &s,
                  size_t consumed)
{
    if (r == SourceError::InvalidSample) {
        FUZZ_CHECK(consumed >= 3); // judged whole: the caller moves on
        return;
    }
    if (r != SourceError::Success) {
        FUZZ_CHECK(r == SourceError::NoData);
        return;
    }
    // The report starts after any filler.
    FUZZ_CHECK(consumed >= 28 + s.bin_count);
    const uint8_t *head = range + consumed - 28 - s.bin_count;
    FUZZ_CHECK(head[0] == 4 || head[0] == 100);
    FUZZ_CHECK(s.detector == (head[0] == 4 ? 0 : 1));
    FUZZ_CHECK(s.noise_dbm == -109);
    wdfuzz::check_decoded_sample(s);
    for (size_t j = 0; j < s.bin_count; ++j)
        if (head[28 + j] == 0)
            FUZZ_CHECK(s.bins[j] == -109.0f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    wdfuzz::walk_reports(parse_ath11k_report, data, size, check_result);
    return 0;
}
