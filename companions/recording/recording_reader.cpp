// SPDX-License-Identifier: MIT
#include "recording_reader.h"

#include <cerrno>
#include <cjson/cJSON.h>
#include <cstring>
#include <memory>

namespace
{

uint64_t get_le(const uint8_t *at, size_t bytes)
{
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; i++)
        value |= static_cast<uint64_t>(at[i]) << (8 * i);
    return value;
}

struct JsonDelete {
    void operator()(cJSON *json) const { cJSON_Delete(json); }
};

struct HeaderString {
    const char *key;
    std::string RecordingHeader::*field;
};

constexpr HeaderString HEADER_STRINGS[] = {
    {"radio", &RecordingHeader::radio},       {"driver", &RecordingHeader::driver},
    {"unit", &RecordingHeader::unit},         {"source", &RecordingHeader::source},
    {"recorder", &RecordingHeader::recorder},
};

// A member missing or of another type stays empty: the header describes the
// lines, it is not needed to read them.
bool parse_header_json(const char *text, size_t length, RecordingHeader &header)
{
    std::unique_ptr<cJSON, JsonDelete> json(cJSON_ParseWithLength(text, length));
    if (json == nullptr || !cJSON_IsObject(json.get()))
        return false;
    for (const HeaderString &s : HEADER_STRINGS) {
        const cJSON *item = cJSON_GetObjectItemCaseSensitive(json.get(), s.key);
        if (cJSON_IsString(item))
            header.*s.field = item->valuestring;
    }
    const cJSON *started = cJSON_GetObjectItemCaseSensitive(json.get(), "started_us");
    // Microseconds since the epoch stay far below 2^53, where doubles are exact.
    if (cJSON_IsNumber(started) && started->valuedouble >= 0 && started->valuedouble < 9.0e15)
        header.started_us = static_cast<uint64_t>(started->valuedouble);
    return true;
}

// Reads up to size bytes; fewer only at the end of the file (or an error,
// which the caller tells apart with ferror).
size_t read_some(FILE *file, void *to, size_t size)
{
    return fread(to, 1, size, file);
}

OpenResult read_header(RecordingReader &r)
{
    uint8_t head[12];
    size_t got = read_some(r.file, head, sizeof head);
    if (ferror(r.file) != 0)
        return OpenResult::Missing;
    // A prefix of the magic is a recording cut while its header was written.
    size_t magic = got < RECORDING_MAGIC_SIZE ? got : RECORDING_MAGIC_SIZE;
    if (memcmp(head, RECORDING_MAGIC, magic) != 0)
        return OpenResult::NotRecording;
    if (got > RECORDING_MAGIC_SIZE && head[6] != RECORDING_VERSION)
        return OpenResult::NotRecording;
    if (got > 7 && head[7] != 0)
        return OpenResult::NotRecording;
    if (got < sizeof head)
        return OpenResult::TornHeader;
    const size_t n = get_le(head + 8, 4);
    if (n > RECORDING_HEADER_MAX_JSON)
        return OpenResult::NotRecording;
    uint8_t rest[RECORDING_HEADER_MAX_JSON + 4];
    got = read_some(r.file, rest, n + 4);
    if (ferror(r.file) != 0)
        return OpenResult::Missing;
    if (got < n + 4)
        return OpenResult::TornHeader;
    uint32_t crc = recording_crc32(0, {head, sizeof head});
    crc = recording_crc32(crc, {rest, n});
    if (crc != get_le(rest + n, 4))
        return OpenResult::NotRecording;
    if (!parse_header_json(reinterpret_cast<const char *>(rest), n, r.header))
        return OpenResult::NotRecording;
    r.offset = r.good_end = sizeof head + n + 4;
    return OpenResult::Ok;
}

bool known_type(uint8_t type)
{
    return type >= static_cast<uint8_t>(RecordType::Frame) &&
           type <= static_cast<uint8_t>(RecordType::Note);
}

ReadResult stop(RecordingReader &r, ReadResult result)
{
    r.stopped = result;
    return result;
}

} // namespace

OpenResult recording_open(RecordingReader &r, const char *path)
{
    r = RecordingReader{};
    FILE *file = fopen(path, "rbe");
    if (file == nullptr)
        return OpenResult::Missing;
    return recording_open_stream(r, file);
}

OpenResult recording_open_stream(RecordingReader &r, FILE *file)
{
    r = RecordingReader{};
    r.file = file;
    OpenResult result = read_header(r);
    if (result == OpenResult::Missing) {
        int saved = errno;
        recording_close(r);
        errno = saved;
    } else if (result == OpenResult::TornHeader) {
        r.header = RecordingHeader{};
        r.stopped = ReadResult::End; // no records to read
    }
    return result;
}

ReadResult recording_next(RecordingReader &r, Record &rec)
{
    if (r.stopped != ReadResult::Record)
        return r.stopped;
    if (r.file == nullptr)
        return stop(r, ReadResult::End);
    uint8_t head[RECORD_HEAD_SIZE];
    size_t got = read_some(r.file, head, sizeof head);
    if (got == 0 && ferror(r.file) == 0)
        return stop(r, ReadResult::End);
    if (got < sizeof head)
        return stop(r, ferror(r.file) != 0 ? ReadResult::Damaged : ReadResult::Torn);
    const size_t size = get_le(head, 4);
    if (size > RECORD_MAX_BODY || !known_type(head[4]))
        return stop(r, ReadResult::Damaged);
    rec.body.resize(size);
    uint8_t crc_bytes[RECORD_CRC_SIZE];
    if (read_some(r.file, rec.body.data(), size) < size ||
        read_some(r.file, crc_bytes, sizeof crc_bytes) < sizeof crc_bytes)
        return stop(r, ferror(r.file) != 0 ? ReadResult::Damaged : ReadResult::Torn);
    uint32_t crc = recording_crc32(0, {head, sizeof head});
    crc = recording_crc32(crc, rec.body);
    if (crc != get_le(crc_bytes, 4))
        return stop(r, ReadResult::Damaged);
    rec.type = static_cast<RecordType>(head[4]);
    rec.time_us = get_le(head + 5, 8);
    r.offset += sizeof head + size + sizeof crc_bytes;
    r.good_end = r.offset;
    r.records++;
    return ReadResult::Record;
}

void recording_close(RecordingReader &r)
{
    if (r.file != nullptr)
        fclose(r.file);
    r.file = nullptr;
}

const char *recording_open_text(OpenResult result)
{
    switch (result) {
    case OpenResult::Ok:
        return "a recording";
    case OpenResult::Missing:
        return "cannot be opened";
    case OpenResult::NotRecording:
        return "not a recording (no valid recording header)";
    case OpenResult::TornHeader:
        return "a recording cut inside its header: it holds no records";
    }
    return "unknown result";
}

const char *recording_read_text(ReadResult result)
{
    switch (result) {
    case ReadResult::Record:
        return "a record";
    case ReadResult::End:
        return "the end of the recording";
    case ReadResult::Torn:
        return "the recording ends inside a record (cut while it was written): that record is "
               "dropped";
    case ReadResult::Damaged:
        return "a damaged record (wrong size or checksum): the rest of the recording is skipped";
    }
    return "unknown result";
}
