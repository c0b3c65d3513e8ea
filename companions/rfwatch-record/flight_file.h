// SPDX-License-Identifier: MIT
// An event file of the flight recorder: named by the trigger's UTC time and
// its cause, created anew (never appended to an older event's file).
#pragma once

#include "recording_writer.h"

#include <cstdint>
#include <string>
#include <string_view>

// dir/YYYYmmddTHHMMSSZ-CAUSE.rfwrec, or ...-CAUSE-N.rfwrec for n above 1.
void flight_file_name(std::string_view dir, uint64_t time_us, std::string_view cause, unsigned n,
                      std::string &out);

// Creates the first name of the series that does not exist yet and opens it
// with header; path gets the name. false (errno set) when none could be made.
bool flight_file_create(RecordingWriter &w, std::string_view dir, uint64_t time_us,
                        std::string_view cause, const RecordingHeader &header, std::string &path);
