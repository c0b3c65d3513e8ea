// SPDX-License-Identifier: MIT
#include "recording_file.h"

#include "line_record.h"
#include "recording_writer.h"

#include <unistd.h>

namespace wdtest
{

bool write_recording(const std::string &path, const RecordingHeader &header,
                     const std::vector<RecordedLine> &records)
{
    unlink(path.c_str());
    RecordingWriter w;
    if (recording_writer_open(w, path.c_str(), header) != WriterOpen::Created)
        return false;
    RecordingWriterGuard guard{w};
    LineRecord rec;
    for (const RecordedLine &r : records) {
        line_record_from_line(r.line, rec);
        // The file's own time, not the machine's: no sync is due mid-write.
        if (!recording_write(w, rec.type, r.time_us, rec.body, 0))
            return false;
    }
    return true;
}

ReadBack read_recording(const std::string &path)
{
    ReadBack out;
    RecordingReader r;
    out.opened = recording_open(r, path.c_str());
    RecordingReaderGuard guard{r};
    if (out.opened != OpenResult::Ok)
        return out;
    out.header = r.header;
    Record rec;
    while ((out.end = recording_next(r, rec)) == ReadResult::Record) {
        ReadItem i{rec.type, rec.time_us, ""};
        if (rec.type == RecordType::Note)
            i.text.assign(rec.body.begin(), rec.body.end());
        else if (!line_from_record(rec.type, rec.body, i.text))
            i.text = "(no line)";
        out.items.push_back(std::move(i));
    }
    return out;
}

std::vector<std::string> texts_of(const ReadBack &r, bool notes)
{
    std::vector<std::string> out;
    for (const ReadItem &i : r.items)
        if ((i.type == RecordType::Note) == notes)
            out.push_back(i.text);
    return out;
}

} // namespace wdtest
