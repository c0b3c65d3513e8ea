// SPDX-License-Identifier: MIT
// fakeath: the simulated ath10k/ath11k spectral-scan driver of the test bed.
#include "fs.h"
#include "fw_diag.h"
#include "options.h"

int main(int argc, char **argv)
{
    fakeath::Options opts;
    int parsed = fakeath::options_parse(opts, argc, argv);
    if (parsed == fakeath::PARSE_HELP) {
        fakeath::options_usage(argv[0]);
        return 0;
    }
    if (parsed != fakeath::PARSE_OK)
        return 2;
    if (!opts.fw_diag_file.empty())
        return fakeath::feed_fw_diag(opts);
    return fakeath::serve_spectral_files(opts);
}
