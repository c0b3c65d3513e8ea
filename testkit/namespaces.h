// SPDX-License-Identifier: MIT
// Private namespaces for component tests, so the real binaries can be run at
// their fixed paths (/run, /sys/kernel/debug, /lib/firmware, ...) without
// touching the machine's own.
#pragma once

#include <string>
#include <string_view>

namespace wdtest
{

// Moves this process (single-threaded: call before starting threads) into
// a private mount namespace whose mounts do not propagate back to the host.
// As non-root it also enters a user namespace mapping the caller to root.
// Idempotent. On failure returns false and says why.
bool enter_private_mounts(std::string *why);

// Moves this process into a fresh network namespace with only a loopback
// interface (brought up). Idempotent.
bool enter_private_network(std::string *why);

// Mounts an empty tmpfs at path, creating the directory first if missing
// (the directory then stays on the host, empty). Call inside a private
// mount namespace; a later call on the same path stacks a fresh tmpfs.
bool mount_tmpfs(const std::string &path, std::string *why);

// mkdir -p
bool make_dirs(const std::string &path, std::string *why);
bool write_file(const std::string &path, std::string_view bytes, std::string *why);
bool read_file(const std::string &path, std::string &bytes);
// Leaves a Unix socket file at path that nobody listens on, as a program
// that bound it and ended does.
bool leave_stale_socket(const std::string &path, std::string *why);

} // namespace wdtest

// Skips the current test, loudly and with the reason, when a private mount
// namespace cannot be had on this machine (for GoogleTest tests: the test
// file includes gtest).
#define WD_REQUIRE_PRIVATE_MOUNTS()                                                                \
    do {                                                                                           \
        std::string wd_why_;                                                                       \
        if (!::wdtest::enter_private_mounts(&wd_why_))                                             \
            GTEST_SKIP() << "SKIPPED: no private mount namespace here: " << wd_why_;               \
    } while (0)

#define WD_REQUIRE_PRIVATE_NETWORK()                                                               \
    do {                                                                                           \
        std::string wd_why_;                                                                       \
        if (!::wdtest::enter_private_network(&wd_why_))                                            \
            GTEST_SKIP() << "SKIPPED: no private network namespace here: " << wd_why_;             \
    } while (0)
