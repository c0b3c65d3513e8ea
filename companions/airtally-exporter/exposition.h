// SPDX-License-Identifier: MIT
// Prometheus' text exposition format (version 0.0.4): the family header,
// sample lines and label-value escaping. Pure text building, no I/O.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace airtally_exporter
{

// What Prometheus expects in the Content-Type of a scrape answer.
constexpr const char *EXPOSITION_CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8";

struct Label {
    std::string_view name;
    std::string_view value; // arbitrary bytes: escaped on the way out
};

// "# HELP name help" and "# TYPE name type".
void append_family(std::string &out, std::string_view name, std::string_view type,
                   std::string_view help);
// name{a="x",b="y"} value
void append_sample(std::string &out, std::string_view name, std::span<const Label> labels,
                   double value);
// A label value's bytes between its quotes: backslash, double quote and line
// feed escaped as the format says; bytes that are not well-formed UTF-8
// become U+FFFD, since the format's text is UTF-8 and has no byte escape.
void append_label_value(std::string &out, std::string_view bytes);
// Integral values print as integers, others as the shortest text that reads
// back as the same double; NaN and the infinities by the format's names.
std::string format_value(double value);

} // namespace airtally_exporter
