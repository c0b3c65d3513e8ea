// SPDX-License-Identifier: MIT
// The one-line secrets every companion reads from a file (a broker
// password, an access token), so they never show in the process list or a
// shell history. One reader, one size limit, one line rule.
#pragma once

#include <cstddef>
#include <string>
#include <unistd.h>

// A descriptor closed when it goes out of scope (the secret files' readers
// and writers).
struct FileFd {
    int fd;
    explicit FileFd(int f) : fd(f) {}
    FileFd(const FileFd &) = delete;
    FileFd &operator=(const FileFd &) = delete;
    ~FileFd()
    {
        if (fd >= 0)
            close(fd);
    }
};

// A secret is a line, not a document.
constexpr size_t SECRET_MAX = 1024;

enum class SecretAccess {
    // Any owner and mode: a broker password is kept root's and readable by
    // the services' group (packaging: /etc/wifidiag, SupplementaryGroups).
    Shared,
    // A regular file of this user (or root) that neither group nor others
    // may read or write: a token the program made for itself, or one a
    // service account was given.
    Private,
};

// The first line of path, without its line end (LF or CRLF); whatever
// follows it is not read as part of the secret. false: error says why
// (unreadable, not private enough, first line empty or over SECRET_MAX).
bool read_secret_file(const char *path, SecretAccess access, std::string &secret,
                      std::string &error);
