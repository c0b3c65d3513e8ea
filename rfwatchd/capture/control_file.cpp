// SPDX-License-Identifier: MIT
#include "capture/control_file.h"

#include "capture/spectral_config.h"

#include "base/free_ptr.h"
#include "base/log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

ConfigError resolve_control_file(const char *directory, const char *name, char *path,
                                 bool need_write)
{
    if (strnlen(directory, SPECTRAL_PATH_SIZE) + strnlen(name, SPECTRAL_PATH_SIZE) + 1 >
        SPECTRAL_PATH_SIZE - 1) {
        log_text("Path for '%s' file would overflow buffer.\n", name);
        return ConfigError::InvalidDirectory; // "... or path too long"
    }
    snprintf(path, SPECTRAL_PATH_SIZE, "%s/%s", directory, name);
    if (access(path, F_OK) != 0) {
        log_text("Required file not found: %s\n", path);
        return ConfigError::FilesNotFound;
    }
    if (need_write && access(path, W_OK) != 0) {
        log_text("Required file not writable: %s\n", path);
        return ConfigError::AccessDenied;
    }
    return ConfigError::Success;
}

ConfigError write_control_file(const char *path, const char *text)
{
    FILE *file = fopen(path, "w");
    if (file == nullptr) {
        log_text("Failed to open %s for writing: %s\n", path, strerror(errno));
        return ConfigError::AccessDenied;
    }
    size_t length = strlen(text);
    size_t written = fwrite(text, 1, length, file);
    // stdio hands the word to the driver only when it flushes at close, so
    // a word the driver refuses shows up as a failed close.
    errno = 0;
    int closed = fclose(file);
    int close_errno = errno;
    if (written != length) {
        log_text("Failed to write to %s: incomplete write\n", path);
        return ConfigError::WriteFailed;
    }
    if (closed != 0) {
        log_text("Failed to write to %s: %s\n", path, strerror(close_errno));
        return ConfigError::WriteFailed;
    }
    return ConfigError::Success;
}

ConfigError read_control_number(const char *path, int64_t &value)
{
    FreePtr<FILE, fclose> file(fopen(path, "r"));
    if (file == nullptr)
        return ConfigError::AccessDenied;
    char line[128];
    if (fgets(line, sizeof line, file.get()) == nullptr)
        return ConfigError::AccessDenied;
    errno = 0;
    // Letters give 0 and an out-of-range value its clamp; both are stored
    // as the driver's value, as the driver's own tools would read it.
    value = strtol(line, nullptr, 10);
    if (errno == ERANGE)
        log_text("Error interpreting number: %s\n", strerror(errno));
    return ConfigError::Success;
}
