// SPDX-License-Identifier: MIT
// Replay of a state file: every interface's state, then the closing record.
#pragma once

// Reads the whole file first and sends nothing when any value is invalid.
// True when the file was read to its end, whatever became of the sends.
bool import_state_file(const char *path);
