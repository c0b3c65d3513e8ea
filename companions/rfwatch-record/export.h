// SPDX-License-Identifier: MIT
// rfwatch-record --export: a recording turned into a file other tools read,
// streaming (constant memory for any size of recording).
#pragma once

#include <string>

enum class ExportKind { Csv, Sigmf };

// csv: out is the CSV file ("-": standard output). sigmf: out is a
// directory, which gets NAME.sigmf-meta and NAME.sigmf-data, NAME the
// recording's file name without its extension. Returns the exit status
// (0, or 1 with one line on standard error saying why).
int run_export(ExportKind kind, const char *in, const char *out);
