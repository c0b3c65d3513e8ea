// SPDX-License-Identifier: MIT
// The bins' fast text against snprintf: every finite float reads exactly as
// "%.2f" gives it, in full; NaN and the infinities read null. The array form
// is the texts joined by commas in brackets.
#include "capture/bin_text.h"
#include "capture_reference.h"
#include "sample_checks.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t count = size / sizeof(float);
    std::vector<float> values(count);
    if (count > 0)
        memcpy(values.data(), data, count * sizeof(float));

    std::string joined = "[";
    for (size_t j = 0; j < count; ++j) {
        char fast[BIN_TEXT_MAX + 1];
        size_t n = format_bin_text(values[j], fast);
        FUZZ_CHECK(n <= BIN_TEXT_MAX);
        std::string reference = wdtest::reference_bin_text(values[j]);
        FUZZ_CHECK(std::string(fast, n) == reference);
        if (std::isfinite(values[j]))
            FUZZ_CHECK(wdfuzz::is_two_decimal_number(fast, n));
        if (j != 0)
            joined += ',';
        joined += reference;
    }
    joined += ']';

    std::vector<char> array(count * (BIN_TEXT_MAX + 1) + 2);
    size_t n = format_bin_array(values.data(), count, array.data());
    FUZZ_CHECK(std::string(array.data(), n) == joined);
    return 0;
}
