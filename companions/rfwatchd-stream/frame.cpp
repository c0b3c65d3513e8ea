#include "frame.h"

#include <algorithm>
#include <cJSON.h>
#include <cmath>
#include <memory>

namespace
{

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// One header field: its key in the line, where it goes, and the range of its
// type in the frame (a line whose value does not fit is refused, not cut).
enum class FieldType { U8, U16, I16, U32, U64 };

struct HeaderField {
    const char *key;
    size_t offset;
    FieldType type;
};

// The frame's header, in the line's key order; bin_count is checked but n is
// taken from the array itself, which is what the browser will read.
constexpr HeaderField HEADER_FIELDS[] = {
    {"detector", 1, FieldType::U8},
    {"freq_mhz", 2, FieldType::U16},
    {"bandwidth_mhz", 4, FieldType::U16},
    {"noise_dbm", 6, FieldType::I16},
    {"rssi", 8, FieldType::U16},
    {"timestamp", 16, FieldType::U64},
    {"num_aggregated", 12, FieldType::U32},
};

struct TypeRange {
    double min;
    double max;
    size_t bytes;
};

// 2^64 itself does not fit; every double below it is a whole u64.
constexpr double TWO_POW_64 = 18446744073709551616.0;

TypeRange type_range(FieldType type)
{
    switch (type) {
    case FieldType::U8:
        return {0, 255, 1};
    case FieldType::U16:
        return {0, 65535, 2};
    case FieldType::I16:
        return {-32768, 32767, 2};
    case FieldType::U32:
        return {0, 4294967295.0, 4};
    case FieldType::U64:
        break;
    }
    return {0, TWO_POW_64, 8};
}

void put_le(uint8_t *at, uint64_t value, size_t bytes)
{
    for (size_t i = 0; i < bytes; i++)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The value of key as the raw bits of its frame type, or false when it is
// missing, not a number, not whole, or out of the type's range.
bool field_bits(const cJSON *line, const HeaderField &field, uint64_t &bits)
{
    const cJSON *item = cJSON_GetObjectItemCaseSensitive(line, field.key);
    if (!cJSON_IsNumber(item))
        return false;
    double v = item->valuedouble;
    TypeRange range = type_range(field.type);
    bool in_range =
        v >= range.min && (field.type == FieldType::U64 ? v < range.max : v <= range.max);
    if (!in_range || std::floor(v) != v)
        return false;
    if (field.type == FieldType::I16)
        bits = static_cast<uint16_t>(static_cast<int16_t>(v));
    else
        bits = static_cast<uint64_t>(v);
    return true;
}

// Everything after the value must be blank: "{...}{...}" is not one line.
bool only_blank(const char *from, const char *end)
{
    for (; from < end; from++)
        if (*from != ' ' && *from != '\t' && *from != '\r' && *from != '\n')
            return false;
    return true;
}

bool write_bins(const cJSON *bins, SpectrumFrame &out, size_t &n)
{
    n = 0;
    for (const cJSON *b = bins->child; b != nullptr; b = b->next) {
        if (n == FRAME_MAX_BINS)
            return false;
        int16_t h = 0;
        if (cJSON_IsNull(b))
            h = FRAME_BIN_NULL;
        else if (cJSON_IsNumber(b))
            h = bin_hundredths(b->valuedouble);
        else
            return false;
        put_le(&out.bytes[FRAME_HEADER_SIZE + 2 * n], static_cast<uint16_t>(h), 2);
        n++;
    }
    return n > 0;
}

} // namespace

int16_t bin_hundredths(double dbm)
{
    if (!std::isfinite(dbm))
        return FRAME_BIN_NULL;
    // The line's two-decimal text parses to the nearest double, whose product
    // with 100 lies within a few ulps of the whole number (-95.12 * 100 is
    // -9511.999...): rounding to nearest recovers it exactly, where a cast
    // would truncate. std::round takes halves away from zero.
    double h = std::round(dbm * 100.0);
    if (h > 32767.0)
        return 32767;
    if (h < -32767.0)
        return -32767; // -32768 means null
    return static_cast<int16_t>(h);
}

bool frame_from_line(std::string_view line, SpectrumFrame &out)
{
    const char *end = nullptr;
    JsonPtr doc(cJSON_ParseWithLengthOpts(line.data(), line.size(), &end, false), cJSON_Delete);
    if (!doc || !cJSON_IsObject(doc.get()) || !only_blank(end, line.data() + line.size()))
        return false;

    out.bytes[0] = FRAME_VERSION;
    for (const HeaderField &field : HEADER_FIELDS) {
        uint64_t bits = 0;
        if (!field_bits(doc.get(), field, bits))
            return false;
        put_le(&out.bytes[field.offset], bits, type_range(field.type).bytes);
    }
    const cJSON *count = cJSON_GetObjectItemCaseSensitive(doc.get(), "bin_count");
    if (!cJSON_IsNumber(count) || count->valuedouble < 0)
        return false;

    const cJSON *bins = cJSON_GetObjectItemCaseSensitive(doc.get(), "bins");
    size_t n = 0;
    if (!cJSON_IsArray(bins) || !write_bins(bins, out, n))
        return false;
    put_le(&out.bytes[10], n, 2);
    out.size = FRAME_HEADER_SIZE + 2 * n;
    return true;
}

bool frame_from_bytes(std::span<const uint8_t> bytes, SpectrumFrame &out)
{
    if (bytes.size() < FRAME_HEADER_SIZE || bytes[0] != FRAME_VERSION)
        return false;
    const size_t n = bytes[10] | static_cast<size_t>(bytes[11]) << 8;
    if (n == 0 || n > FRAME_MAX_BINS || bytes.size() != FRAME_HEADER_SIZE + 2 * n)
        return false;
    std::copy(bytes.begin(), bytes.end(), out.bytes.begin());
    out.size = bytes.size();
    return true;
}
