// SPDX-License-Identifier: MIT
#include "core/signals.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

volatile sig_atomic_t stop_requested = 0;

namespace
{

struct SignalLine {
    char text[128];
    size_t len;
};

SignalLine int_line, term_line;

void compose(SignalLine &line, int sig)
{
    int n = snprintf(line.text, sizeof line.text, "Caught signal: %s, exiting\n", strsignal(sig));
    if (n < 0)
        n = 0;
    line.len =
        static_cast<size_t>(n) < sizeof line.text ? static_cast<size_t>(n) : sizeof line.text - 1;
}

void on_stop_signal(int sig)
{
    int saved = errno;
    const SignalLine &line = sig == SIGINT ? int_line : term_line;
    ssize_t unused = write(STDERR_FILENO, line.text, line.len);
    (void)unused;
    stop_requested = 1;
    errno = saved;
}

} // namespace

void install_signal_handlers()
{
    compose(int_line, SIGINT);
    compose(term_line, SIGTERM);
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {
    };
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: the poll wait returns at once, so the stop is seen
    // within one pass.
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}
