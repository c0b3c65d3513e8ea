// The daemon's one way to write a line for the operator: standard error,
// no prefix (the service manager adds time and name), the caller's text as
// it stands.
#pragma once

__attribute__((format(printf, 1, 2))) void log_text(const char *format, ...);
