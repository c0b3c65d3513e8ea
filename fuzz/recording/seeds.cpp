// SPDX-License-Identifier: MIT
// Hand-made seeds of the recording harnesses: whole recordings of every
// record type, one cut inside a record, one cut inside its header, one with
// a damaged record before the end; and lines of the daemon's form and others.
#include "fuzz_seed.h"
#include "recording_file.h"
#include "recording_writer.h"
#include "spectrum_line.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace wdtest;

namespace
{

std::string recording_bytes(const std::vector<RecordedLine> &lines)
{
    char path[] = "/tmp/recording_seed.XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        exit(1);
    close(fd);
    RecordingHeader header{"wlan0", "ath11k", "dBm", "/run/rfwatchd/wlan0.sock", "seeds", 1};
    if (!write_recording(path, header, lines))
        exit(1);
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    unlink(path);
    return bytes;
}

std::string line(std::vector<double> bins, int noise = -109)
{
    wdtest::SpectrumLine l;
    l.noise_dbm = noise;
    l.bins = std::move(bins);
    return spectrum_line(l);
}

} // namespace

int main(int argc, char **argv)
{
    SeedWriter w(seed_root(argc, argv), "recording_next_fuzz");
    const std::string whole = recording_bytes({
        {1700000000000000, line(ramp_bins(16))},
        {1700000000100000, line({0, 255, 17}, -96)},
        {1700000000200000, "{\"air\":1,\"driver\":\"ath11k\"}"},
        {1700000000300000, line({-0.0, 400})},
    });
    w.write("whole", whole);
    w.write("torn_record", whole.substr(0, whole.size() - 9));
    w.write("torn_header", whole.substr(0, 40));
    std::string damaged = whole;
    damaged[damaged.size() / 2] ^= 0x01;
    w.write("damaged", damaged);

    SeedWriter lines(seed_root(argc, argv), "line_record_fuzz");
    lines.write("dbm", line(ramp_bins(8)));
    lines.write("magnitudes", line({0, 255, 17}, -96));
    lines.write("null_and_limits", line({NAN, 327.67, -327.67}));
    lines.write("negative_zero", line({-0.0, -0.001}));
    lines.write("beyond_frame", line({-400.25}));
    lines.write("air", "{\"air\":1,\"driver\":\"ath11k\"}");
    return 0;
}
