// SPDX-License-Identifier: MIT
// diagtail: prints the ath11k firmware's log messages from its debugfs
// diagnostic stream, decoded through the firmware's message catalogue.
#include "catalogue.h"
#include "decoder.h"
#include "guards.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace
{

constexpr const char STREAM_PATH[] = "/sys/kernel/debug/ath11k/pci-0000:01:00.0/fw_diag";
constexpr const char CATALOGUE_PATH[] = "/lib/firmware/ath11k/QCN9074/hw1.0/Data.msc";
// Bounds how long a stop request waits while the stream is idle.
constexpr int POLL_TIMEOUT_MS = 100;

volatile sig_atomic_t running = 1;

void stop_handler(int /*signal*/)
{
    running = 0;
}

void install_stop_handler()
{
    struct sigaction sa = {};
    sa.sa_handler = stop_handler;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

// False when the stream failed (the perror line says why): the run did not
// end as asked, and a script must be able to tell.
bool read_stream(int fd, const MessageCatalogue &cat)
{
    DecoderState st = {};
    static uint8_t buf[READ_BUFFER_SIZE];
    while (running) {
        pollfd p = {fd, POLLIN, 0};
        int rc = poll(&p, 1, POLL_TIMEOUT_MS);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            perror("poll");
            return false;
        }
        // A FIFO whose writer has gone reports only POLLHUP; reading then
        // returns the end of the stream instead of spinning on poll.
        if (rc == 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            perror("read");
            return false;
        }
        if (n == 0)
            return true;
        decode_read(st, cat, {buf, static_cast<size_t>(n)}, stdout);
    }
    return true;
}

} // namespace

int main()
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    install_stop_handler();

    FdGuard stream(open(STREAM_PATH, O_RDONLY | O_NONBLOCK));
    if (stream.get() < 0) {
        perror("open /sys/kernel/debug/ath11k/pci-0000:01:00.0/fw_diag");
        return 1;
    }
    MessageCatalogue cat = {};
    if (load_catalogue(cat, CATALOGUE_PATH) != CATALOGUE_OK) {
        fprintf(stderr, "Failed to parse Data.msc, cannot decode messages\n");
        return 1;
    }
    FreePtr<MessageCatalogue, free_catalogue> cat_guard(&cat);
    fprintf(stderr, "Listening on %s\n", STREAM_PATH);

    return read_stream(stream.get(), cat) ? 0 : 1;
}
