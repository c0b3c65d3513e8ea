// SPDX-License-Identifier: MIT
#include "fw_diag.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace fakeath
{

namespace
{

volatile sig_atomic_t stop_requested = 0;

void on_stop(int)
{
    stop_requested = 1;
}

int make_parent_dirs(const std::string &path)
{
    for (size_t at = 1; at < path.size(); ++at) {
        if (path[at] != '/')
            continue;
        std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return -1;
    }
    return 0;
}

int write_all(int fd, const uint8_t *p, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR && !stop_requested)
                continue;
            return -1;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return 0;
}

void sleep_ms(unsigned ms)
{
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR && !stop_requested) {
    }
}

} // namespace

int feed_fw_diag(const Options &opts)
{
    FILE *in = fopen(opts.fw_diag_file.c_str(), "rb");
    if (!in) {
        fprintf(stderr, "fakeath: cannot open %s: %s\n", opts.fw_diag_file.c_str(),
                strerror(errno));
        return 1;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = fread(chunk, 1, sizeof chunk, in)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(in);

    // No SA_RESTART: a stop must break the open that waits for a reader.
    struct sigaction sa {
    };
    sa.sa_handler = on_stop;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const std::string &path = opts.fw_diag_path;
    struct stat st {
    };
    if (make_parent_dirs(path) != 0 ||
        (lstat(path.c_str(), &st) == 0 && !S_ISFIFO(st.st_mode) && unlink(path.c_str()) != 0) ||
        (mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST)) {
        fprintf(stderr, "fakeath: cannot create the FIFO %s: %s\n", path.c_str(), strerror(errno));
        return 1;
    }
    if (!opts.ready_file.empty()) {
        FILE *r = fopen(opts.ready_file.c_str(), "w");
        if (r)
            fclose(r);
    }
    printf("fakeath: feeding %zu bytes of %s into %s\n", bytes.size(), opts.fw_diag_file.c_str(),
           path.c_str());
    fflush(stdout);
    int fd = open(path.c_str(), O_WRONLY); // waits for the reader
    if (fd < 0) {
        int err = errno;
        unlink(path.c_str());
        if (stop_requested)
            return 0;
        fprintf(stderr, "fakeath: cannot open %s: %s\n", path.c_str(), strerror(err));
        return 1;
    }
    size_t step = opts.fw_diag_chunk ? opts.fw_diag_chunk : bytes.size();
    int rc = 0;
    for (size_t at = 0; at < bytes.size() && !stop_requested; at += step) {
        size_t n = std::min(step, bytes.size() - at);
        if (write_all(fd, bytes.data() + at, n) != 0) {
            if (!stop_requested) {
                fprintf(stderr, "fakeath: write to %s failed: %s\n", path.c_str(), strerror(errno));
                rc = 1;
            }
            break;
        }
        if (opts.fw_diag_interval_ms && at + n < bytes.size())
            sleep_ms(opts.fw_diag_interval_ms);
    }
    if (rc == 0 && !opts.fw_diag_eof) {
        // The driver's stream does not end: keep the writer side open.
        while (!stop_requested)
            pause();
    }
    close(fd);
    unlink(path.c_str());
    return rc;
}

} // namespace fakeath
