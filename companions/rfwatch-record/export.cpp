// SPDX-License-Identifier: MIT
// rfwatch-record --export: reads the recording one record at a time and
// hands each spectrum (in dBm) and air line to the chosen format.
#include "export.h"

#include "export_csv.h"
#include "export_item.h"
#include "export_output.h"
#include "export_sigmf.h"
#include "recording_reader.h"

#include <cstdio>
#include <memory>
#include <string>

namespace
{

struct ExportCounts {
    uint64_t spectra = 0, air = 0, unreadable = 0;
};

// The one line that says why the export failed.
int fail(const std::string &why)
{
    fprintf(stderr, "rfwatch-record: export: %s\n", why.c_str());
    return 1;
}

// A tail the reader could not take is reported, not fatal: what came before
// it is whole and exported.
void report_end(const char *in, ReadResult end, const RecordingReader &r)
{
    if (end == ReadResult::Torn)
        fprintf(stderr,
                "rfwatch-record: export: %s: the tail was torn (cut off while written); "
                "exported the %llu whole records before it\n",
                in, static_cast<unsigned long long>(r.records));
    else if (end == ReadResult::Damaged)
        fprintf(stderr,
                "rfwatch-record: export: %s: damaged record at byte %llu; exported the %llu "
                "records before it, the rest skipped\n",
                in, static_cast<unsigned long long>(r.offset),
                static_cast<unsigned long long>(r.records));
}

} // namespace

int run_export(ExportKind kind, const char *in, const char *out)
{
    RecordingReader reader;
    const OpenResult opened = recording_open(reader, in);
    const RecordingReaderGuard guard{reader};
    if (opened == OpenResult::Missing)
        return fail(errno_text(std::string(in) + ": " + recording_open_text(opened)));
    if (opened == OpenResult::NotRecording)
        return fail(std::string(in) + ": " + recording_open_text(opened));
    if (opened == OpenResult::TornHeader)
        fprintf(stderr, "rfwatch-record: export: %s: %s\n", in, recording_open_text(opened));

    std::string error;
    CsvExport csv;
    // 4 kB spectrum, 3 kB air line, a 1 kB frame: not on the stack.
    auto sigmf = std::make_unique<SigmfExport>();
    auto item = std::make_unique<ExportItem>();
    const bool opened_out = kind == ExportKind::Csv ? csv_open(csv, in, out, error)
                                                    : sigmf_open(*sigmf, in, out, error);
    if (!opened_out)
        return fail(error);

    const MagnitudeRule rule = magnitude_rule_of(reader.header);
    ExportCounts counts;
    Record rec;
    ReadResult result = ReadResult::End;
    while (opened != OpenResult::TornHeader &&
           (result = recording_next(reader, rec)) == ReadResult::Record) {
        switch (export_item_of(rec.type, rec.body, rule, *item)) {
        case ExportItemKind::Spectrum:
            counts.spectra++;
            if (kind == ExportKind::Csv)
                csv_spectrum(csv, item->spectrum, rec.time_us);
            else
                sigmf_spectrum(*sigmf, item->spectrum, rec.time_us);
            break;
        case ExportItemKind::Air:
            counts.air++;
            if (kind == ExportKind::Sigmf)
                sigmf_air(*sigmf, item->air, rec.time_us);
            break;
        case ExportItemKind::Note:
            // The daemon went or came back: a sweep does not span that.
            if (kind == ExportKind::Csv)
                csv_break(csv);
            break;
        case ExportItemKind::Unreadable:
            counts.unreadable++;
            break;
        }
    }
    const bool closed =
        kind == ExportKind::Csv ? csv_close(csv, error) : sigmf_close(*sigmf, reader.header, error);
    if (!closed)
        return fail(error);
    report_end(in, result, reader);
    if (counts.unreadable > 0)
        fprintf(
            stderr,
            "rfwatch-record: export: %s: %llu lines neither a spectrum nor an air line: left out\n",
            in, static_cast<unsigned long long>(counts.unreadable));
    return 0;
}
