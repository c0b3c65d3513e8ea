// The broker password, read from a file so it never shows in the process
// list or a shell history.
#pragma once

#include <string>

// The first line of path, without its line end; false: error says why.
bool read_secret_file(const char *path, std::string &secret, std::string &error);
