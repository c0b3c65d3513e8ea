// SPDX-License-Identifier: MIT
// make-recording FILE [--radio NAME] [--driver D] [--source S] [--recorder R]
// [--started-us N]: writes a recording of the lines read from standard input,
// each "TIME_US<TAB>LINE", for the tests that are scripts. A line beginning
// "note<TAB>TIME_US<TAB>JSON" becomes a Note record. The driver, when not
// given, is guessed as rfwatch-record does from the first spectrum line; the
// source, when not given, is the radio's socket.
#include "line_record.h"
#include "recording_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

struct Option {
    const char *name;
    std::string RecordingHeader::*field;
};

constexpr Option OPTIONS[] = {
    {"--radio", &RecordingHeader::radio},
    {"--driver", &RecordingHeader::driver},
    {"--source", &RecordingHeader::source},
    {"--recorder", &RecordingHeader::recorder},
};

int usage()
{
    fprintf(stderr, "usage: make-recording FILE [--radio NAME] [--driver ath10k|ath11k] "
                    "[--source S] [--recorder R] [--started-us N] < TIME_US<TAB>LINE lines\n");
    return 2;
}

bool parse_args(int argc, char **argv, RecordingHeader &header, bool &driver_given)
{
    header.radio = "wlan0";
    header.recorder = "make-recording";
    for (int i = 2; i < argc; i += 2) {
        if (i + 1 >= argc)
            return false;
        bool known = false;
        for (const Option &o : OPTIONS)
            if (strcmp(argv[i], o.name) == 0) {
                header.*o.field = argv[i + 1];
                known = true;
            }
        if (strcmp(argv[i], "--started-us") == 0) {
            header.started_us = strtoull(argv[i + 1], nullptr, 10);
            known = true;
        }
        if (!known)
            return false;
        driver_given |= strcmp(argv[i], "--driver") == 0;
    }
    if (header.source.empty())
        header.source = "/run/rfwatchd/" + header.radio + ".sock";
    return true;
}

// "TIME_US<TAB>REST": false when the time is not a whole number.
bool split_timed(const std::string &text, uint64_t &time_us, std::string &rest)
{
    size_t tab = text.find('\t');
    if (tab == std::string::npos || tab == 0)
        return false;
    char *end = nullptr;
    time_us = strtoull(text.c_str(), &end, 10);
    if (end != text.c_str() + tab)
        return false;
    rest = text.substr(tab + 1);
    return true;
}

struct Input {
    RecordType type;
    uint64_t time_us;
    std::string line;
};

} // namespace

int main(int argc, char **argv)
{
    RecordingHeader header;
    bool driver_given = false;
    if (argc < 2 || !parse_args(argc, argv, header, driver_given))
        return usage();

    // The header goes first but may need the first spectrum line's driver:
    // read everything (a test's few lines) before writing.
    std::vector<Input> inputs;
    std::string text;
    for (size_t number = 1; std::getline(std::cin, text); number++) {
        if (text.empty())
            continue;
        Input in{RecordType::Line, 0, {}};
        constexpr std::string_view NOTE = "note\t";
        if (text.starts_with(NOTE)) {
            in.type = RecordType::Note;
            text.erase(0, NOTE.size());
        }
        if (!split_timed(text, in.time_us, in.line)) {
            fprintf(stderr, "make-recording: line %zu is not TIME_US<TAB>LINE\n", number);
            return 1;
        }
        if (!driver_given && header.driver.empty() && in.type != RecordType::Note) {
            SpectrumLine parsed;
            if (parse_spectrum_line(in.line, parsed))
                header.driver = driver_of_spectrum(parsed);
        }
        inputs.push_back(std::move(in));
    }
    header.unit = recording_unit_of(header.driver);
    if (header.started_us == 0 && !inputs.empty())
        header.started_us = inputs.front().time_us;

    unlink(argv[1]);
    RecordingWriter w;
    if (recording_writer_open(w, argv[1], header) != WriterOpen::Created) {
        fprintf(stderr, "make-recording: %s: %s\n", argv[1], strerror(errno));
        return 1;
    }
    RecordingWriterGuard guard{w};
    LineRecord rec;
    for (const Input &in : inputs) {
        if (in.type == RecordType::Note) {
            rec.type = RecordType::Note;
            rec.body = in.line;
        } else {
            line_record_from_line(in.line, rec);
        }
        if (!recording_write(w, rec.type, in.time_us, rec.body, 0)) {
            fprintf(stderr, "make-recording: %s: %s\n", argv[1], strerror(errno));
            return 1;
        }
    }
    return 0;
}
