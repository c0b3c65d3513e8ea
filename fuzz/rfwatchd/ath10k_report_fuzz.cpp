// SPDX-License-Identifier: MIT
// The ath10k report parser over any bytes, walked report by report: it
// judges whatever starts the range as one whole report, so consumed is 0
// (too few bytes) or exactly length + 3 and never past the range; a failure
// leaves the sample as it was; a decoded sample holds the magnitude bytes
// unscaled.
#include "capture/ath10k_report.h"
#include "sample_checks.h"

namespace
{

void check_result(SourceError r, const uint8_t *range, size_t left, const SpectralSample &s,
                  size_t consumed)
{
    size_t whole = left >= 3 ? ((size_t{range[1]} << 8) | range[2]) + 3 : 0;
    if (r == SourceError::NoData) {
        FUZZ_CHECK(consumed == 0 && (left < 3 || left < whole));
        return;
    }
    FUZZ_CHECK(consumed == whole);
    if (r != SourceError::Success) {
        FUZZ_CHECK(r == SourceError::InvalidSample);
        return;
    }
    FUZZ_CHECK(range[0] == 3 && s.noise_dbm != 0);
    FUZZ_CHECK(s.bin_count == 64 || s.bin_count == 128 || s.bin_count == 256);
    FUZZ_CHECK(consumed == 29 + s.bin_count);
    wdfuzz::check_decoded_sample(s);
    for (size_t j = 0; j < s.bin_count; ++j)
        FUZZ_CHECK(s.bins[j] == static_cast<float>(range[29 + j]));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    wdfuzz::walk_reports(parse_ath10k_report, data, size, check_result);
    return 0;
}
