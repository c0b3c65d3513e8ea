// SPDX-License-Identifier: MIT
#include "export_csv.h"

#include "export_output.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

void csv_row(const SpectrumLine &line, uint64_t time_us, std::string &out)
{
    out = utc_text(time_us, "%Y-%m-%d, %H:%M:%S");
    // Whole MHz: the edges are whole Hz (a half MHz at most).
    const int64_t centre_hz = static_cast<int64_t>(line.freq_mhz) * 1000000;
    const int64_t half_hz = static_cast<int64_t>(line.bandwidth_mhz) * 500000;
    const double step_hz =
        static_cast<double>(line.bandwidth_mhz) * 1e6 / static_cast<double>(line.n);
    char field[64];
    snprintf(field, sizeof field, ", %" PRId64 ", %" PRId64 ", %.2f, %" PRIu32, centre_hz - half_hz,
             centre_hz + half_hz, step_hz, line.num_aggregated);
    out += field;
    for (size_t j = 0; j < line.n; j++) {
        if (std::isfinite(line.bins[j])) {
            snprintf(field, sizeof field, ", %.2f", line.bins[j]);
            out += field;
        } else {
            out += ", ";
        }
    }
    out += '\n';
}

bool csv_open(CsvExport &csv, const char *in, const char *out, std::string &error)
{
    if (std::strcmp(out, "-") == 0) {
        csv.file = stdout;
        csv.owned = false;
        return true;
    }
    struct stat st {
    };
    if (stat(out, &st) == 0 && !S_ISREG(st.st_mode)) {
        error = std::string(out) + ": exists and is not a regular file: not overwritten";
        return false;
    }
    if (same_file(in, out)) {
        error = std::string(out) + ": is the recording itself: not overwritten";
        return false;
    }
    csv.file = fopen(out, "we");
    if (!csv.file) {
        error = errno_text(out);
        return false;
    }
    csv.owned = true;
    csv.row.reserve(16 + 8 * LINE_MAX_BINS);
    return true;
}

void csv_spectrum(CsvExport &csv, const SpectrumLine &line, uint64_t arrived_us)
{
    csv_row(line, sweep_clock_time(csv.clock, line.freq_mhz, arrived_us), csv.row);
    fwrite(csv.row.data(), 1, csv.row.size(), csv.file); // errors: checked at close
}

void csv_break(CsvExport &csv)
{
    sweep_clock_break(csv.clock);
}

bool csv_close(CsvExport &csv, std::string &error)
{
    if (!csv.file)
        return true;
    // A full disk shows only here, in the stream's error flag or the flush.
    bool ok = fflush(csv.file) == 0 && !ferror(csv.file);
    if (!ok)
        error = errno_text("writing the CSV");
    if (csv.owned && fclose(csv.file) != 0 && ok) {
        ok = false;
        error = errno_text("closing the CSV");
    }
    csv.file = nullptr;
    return ok;
}
