// SPDX-License-Identifier: MIT
#include "export_output.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

bool same_file(const char *in, const char *path)
{
    struct stat a {
    };
    struct stat b {
    };
    return stat(in, &a) == 0 && stat(path, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string utc_text(uint64_t time_us, const char *format)
{
    const auto seconds = static_cast<time_t>(time_us / 1000000);
    struct tm tm {
    };
    gmtime_r(&seconds, &tm);
    char text[64];
    const size_t n = strftime(text, sizeof text, format, &tm);
    return {text, n};
}

std::string errno_text(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}
