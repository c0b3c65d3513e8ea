// SPDX-License-Identifier: MIT
// The tool's one logging helper: one line per diagnostic on standard error,
// with a level prefix. Debug lines only when DEBUG was in the environment.
#pragma once

#include <cstdarg>

void log_set_debug(bool on);
bool log_debug_enabled();

#define IFWARD_PRINTF(a, b) __attribute__((format(printf, a, b)))
void log_error_errno(const char *fmt, ...) IFWARD_PRINTF(1, 2);
void log_error(const char *fmt, ...) IFWARD_PRINTF(1, 2);
void log_error_v(const char *fmt, va_list ap) IFWARD_PRINTF(1, 0);
void log_warning(const char *fmt, ...) IFWARD_PRINTF(1, 2);
void log_info(const char *fmt, ...) IFWARD_PRINTF(1, 2);
void log_debug(const char *fmt, ...) IFWARD_PRINTF(1, 2);
