// SPDX-License-Identifier: MIT
#include "summary.h"

#include "sample_line.h"

#include <algorithm>
#include <cmath>
#include <cstring>

bool parse_sample_line(std::string_view text, SampleLine &out, std::vector<float> *bins_out)
{
    SpectrumLine line; // 4 KiB
    if (!parse_spectrum_line(text, line))
        return false;
    out.detector = line.detector;
    out.freq_mhz = line.freq_mhz;
    out.bandwidth_mhz = line.bandwidth_mhz;
    out.num_aggregated = line.num_aggregated;
    if (bins_out)
        bins_out->assign(line.bins, line.bins + line.n);
    int valued = 0;
    double peak = -1e9, sum = 0;
    for (size_t i = 0; i < line.n; i++) {
        if (std::isnan(line.bins[i]))
            continue; // null: no value to count
        peak = std::max(peak, line.bins[i]);
        sum += line.bins[i];
        valued++;
    }
    out.bin_count = static_cast<int>(line.n);
    out.valued_bins = valued;
    out.peak_dbm = valued > 0 ? peak : 0;
    out.mean_dbm = valued > 0 ? sum / valued : 0;
    return true;
}

void summary_add(Summary &s, const SampleLine &l)
{
    s.lines++;
    int i = 0;
    while (i < s.count && (s.rows[i].freq_mhz < l.freq_mhz ||
                           (s.rows[i].freq_mhz == l.freq_mhz && s.rows[i].detector < l.detector)))
        i++;
    SummaryRow *row = nullptr;
    if (i < s.count && s.rows[i].freq_mhz == l.freq_mhz && s.rows[i].detector == l.detector) {
        row = &s.rows[i];
    } else {
        if (s.count == MAX_SUMMARY_ROWS)
            return; // more frequencies than any band holds; keep the first
        memmove(&s.rows[i + 1], &s.rows[i], sizeof(SummaryRow) * static_cast<size_t>(s.count - i));
        s.count++;
        row = &s.rows[i];
        *row = SummaryRow{l.detector, l.freq_mhz, l.bandwidth_mhz, 0, 0, 0, l.peak_dbm, 0};
    }
    row->bandwidth_mhz = l.bandwidth_mhz;
    row->samples += l.num_aggregated;
    row->lines++;
    if (l.valued_bins == 0)
        return;
    row->peak_dbm =
        row->valued_lines == 0 || l.peak_dbm > row->peak_dbm ? l.peak_dbm : row->peak_dbm;
    row->valued_lines++;
    row->mean_sum += l.mean_dbm;
}

void summary_clear(Summary &s)
{
    s.count = 0;
    s.lines = 0;
    s.bad_lines = 0;
}

void summary_print(const Summary &s, double elapsed_s, FILE *out)
{
    fprintf(out, "--- %.1f s: %ld lines", elapsed_s, s.lines);
    if (s.bad_lines)
        fprintf(out, ", %ld not understood", s.bad_lines);
    fprintf(out, " ---\n");
    if (s.count == 0) {
        fprintf(out, "  (no samples)\n");
        return;
    }
    fprintf(out, "  %-9s %-6s %-4s %9s %10s %10s\n", "freq", "width", "det", "samples", "peak dBm",
            "mean dBm");
    for (int i = 0; i < s.count; i++) {
        const SummaryRow &r = s.rows[i];
        fprintf(out, "  %-4d MHz  %-3d    %-4d %9ld", r.freq_mhz, r.bandwidth_mhz, r.detector,
                r.samples);
        if (r.valued_lines > 0)
            fprintf(out, " %10.2f %10.2f\n", r.peak_dbm,
                    r.mean_sum / static_cast<double>(r.valued_lines));
        else
            fprintf(out, " %10s %10s\n", "-", "-"); // every bin was null
    }
}
