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

} // namespace wdtest
