// SPDX-License-Identifier: MIT
// fake-rfwatchd SOCKET LINES-FILE PERIOD-MS: FakeRfwatchd for the tests that
// are scripts, so that they and the C++ tests share one stand-in.
//
// Every PERIOD-MS each client gets the lines of LINES-FILE, read again while
// serving: a script changes them by replacing the file (rename, never a
// rewrite in place). Standard output says "listening" once the socket is
// bound, then "command TEXT" for each command a client wrote and "round N"
// for each round sent. SIGTERM or SIGINT closes every client and removes the
// socket, as rfwatchd's exit does.
#include "fake_rfwatchd.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace
{

bool read_lines(const char *path, std::string &text, std::vector<std::string> &lines)
{
    std::ifstream in(path);
    text.assign(std::istreambuf_iterator<char>(in), {});
    lines.clear();
    std::istringstream split(text);
    for (std::string l; std::getline(split, l);)
        if (!l.empty())
            lines.push_back(l);
    return in.is_open();
}

} // namespace

int main(int argc, char **argv)
{
    std::string text;
    std::vector<std::string> lines;
    const int period_ms = argc == 4 ? atoi(argv[3]) : 0;
    if (period_ms <= 0 || !read_lines(argv[2], text, lines)) {
        fprintf(stderr, "usage: fake-rfwatchd SOCKET LINES-FILE PERIOD-MS\n");
        return 2;
    }
    // Blocked before the server's thread starts, so that it inherits the
    // mask and the signals wait for sigtimedwait below.
    sigset_t stop_on;
    sigemptyset(&stop_on);
    sigaddset(&stop_on, SIGTERM);
    sigaddset(&stop_on, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop_on, nullptr);

    wdtest::FakeRfwatchd daemon;
    daemon.repeat(lines, period_ms);
    std::string why;
    if (!daemon.start(argv[1], &why)) {
        fprintf(stderr, "fake-rfwatchd: %s\n", why.c_str());
        return 1;
    }
    printf("listening\n");
    size_t rounds = 0, commands = 0;
    const timespec tick{0, 20 * 1000 * 1000};
    do {
        std::string now;
        if (read_lines(argv[2], now, lines) && now != text) {
            text = now;
            daemon.repeat(lines, period_ms);
        }
        const std::vector<std::string> got = daemon.commands();
        for (; commands < got.size(); commands++)
            printf("command %s\n", got[commands].c_str());
        for (const size_t sent = daemon.rounds(); rounds < sent; rounds++)
            printf("round %zu\n", rounds + 1);
        fflush(stdout);
    } while (sigtimedwait(&stop_on, nullptr, &tick) < 0);
    daemon.stop();
    return 0;
}
