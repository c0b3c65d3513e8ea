// SPDX-License-Identifier: MIT
#include "exposition.h"

#include "utf8.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace airtally_exporter
{

namespace
{

constexpr std::string_view kReplacementCharacter = "\xef\xbf\xbd";

// Past 2^53 not every integer is a double: such values take the general form.
constexpr double kLargestExactInteger = 9007199254740992.0;

} // namespace

void append_family(std::string &out, std::string_view name, std::string_view type,
                   std::string_view help)
{
    out.append("# HELP ").append(name).append(" ").append(help).append("\n");
    out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void append_sample(std::string &out, std::string_view name, std::span<const Label> labels,
                   double value)
{
    out.append(name);
    if (!labels.empty()) {
        out += '{';
        for (size_t i = 0; i < labels.size(); ++i) {
            if (i > 0)
                out += ',';
            out.append(labels[i].name).append("=\"");
            append_label_value(out, labels[i].value);
            out += '"';
        }
        out += '}';
    }
    out.append(" ").append(format_value(value)).append("\n");
}

void append_label_value(std::string &out, std::string_view bytes)
{
    for (size_t i = 0; i < bytes.size();) {
        const char c = bytes[i];
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
            ++i;
        } else if (c == '\n') {
            out += "\\n";
            ++i;
        } else if (static_cast<unsigned char>(c) < 0x80) {
            out += c;
            ++i;
        } else if (const size_t n = airtally_names::utf8_length(bytes.substr(i)); n > 0) {
            out.append(bytes.substr(i, n));
            i += n;
        } else {
            out.append(kReplacementCharacter);
            ++i;
        }
    }
}

std::string format_value(double value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "+Inf" : "-Inf";
    char buf[64];
    if (value == std::trunc(value) && std::fabs(value) <= kLargestExactInteger) {
        std::snprintf(buf, sizeof(buf), "%.0f", value);
        return buf;
    }
    const auto r = std::to_chars(buf, buf + sizeof(buf), value);
    return std::string(buf, r.ptr);
}

} // namespace airtally_exporter
