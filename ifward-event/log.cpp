// SPDX-License-Identifier: MIT
#include "log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

bool debug_on = false;

void log_line(const char *prefix, const char *errno_text, const char *fmt, va_list ap)
{
    // Lock so that the pieces of one line stay together.
    flockfile(stderr);
    std::fputs(prefix, stderr);
    std::vfprintf(stderr, fmt, ap);
    if (errno_text) {
        std::fputs(": ", stderr);
        std::fputs(errno_text, stderr);
    }
    std::fputc('\n', stderr);
    funlockfile(stderr);
}

} // namespace

void log_set_debug(bool on)
{
    debug_on = on;
}
bool log_debug_enabled()
{
    return debug_on;
}

void log_error_errno(const char *fmt, ...)
{
    // Take the text first: formatting may change errno.
    const char *text = std::strerror(errno);
    va_list ap;
    va_start(ap, fmt);
    log_line("Error: ", text, fmt, ap);
    va_end(ap);
}

void log_error_v(const char *fmt, va_list ap)
{
    log_line("Error: ", nullptr, fmt, ap);
}

#define IFWARD_LOG_AT(name, prefix)                                                                \
    void name(const char *fmt, ...)                                                                \
    {                                                                                              \
        va_list ap;                                                                                \
        va_start(ap, fmt);                                                                         \
        log_line(prefix, nullptr, fmt, ap);                                                        \
        va_end(ap);                                                                                \
    }

IFWARD_LOG_AT(log_error, "Error: ")
IFWARD_LOG_AT(log_warning, "Warning: ")
IFWARD_LOG_AT(log_info, "Info: ")

void log_debug(const char *fmt, ...)
{
    if (!debug_on)
        return;
    va_list ap;
    va_start(ap, fmt);
    log_line("Debug: ", nullptr, fmt, ap);
    va_end(ap);
}
