// SPDX-License-Identifier: MIT
#include "terminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

volatile sig_atomic_t terminal_resized = 0;

namespace
{

// Alternate screen, hidden cursor, cleared; and back: colours reset,
// cursor shown, normal screen.
constexpr char ENTER[] = "\x1b[?1049h\x1b[?25l\x1b[2J";
constexpr char LEAVE[] = "\x1b[0m\x1b[?25h\x1b[?1049l";

termios saved{};
int saved_in = -1;   // keys' descriptor whose settings were saved; -1: none
int screen_out = -1; // -1: not entered
volatile sig_atomic_t active = 0;

void write_all(int fd, const char *text, size_t length)
{
    while (length > 0) {
        ssize_t n = write(fd, text, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text += n;
        length -= static_cast<size_t>(n);
    }
}

void on_winch(int /*signal*/)
{
    terminal_resized = 1;
}

} // namespace

bool terminal_enter(int in, int out)
{
    if (active || !isatty(out))
        return false;
    if (isatty(in) && tcgetattr(in, &saved) == 0) {
        termios raw = saved;
        // Keys one at a time, unechoed; ISIG stays so that Ctrl-C is still
        // SIGINT, which the loop turns into a clean exit.
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
        raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(in, TCSAFLUSH, &raw) == 0)
            saved_in = in;
    }
    screen_out = out;
    active = 1;
    static bool registered = false;
    if (!registered) {
        registered = true;
        atexit(terminal_restore); // exit() from anywhere still leaves it tidy
    }
    struct sigaction sa {
    };
    sa.sa_handler = on_winch;
    sigaction(SIGWINCH, &sa, nullptr);
    write_all(out, ENTER, sizeof ENTER - 1);
    return true;
}

void terminal_restore()
{
    if (!active)
        return;
    active = 0;
    if (saved_in >= 0)
        tcsetattr(saved_in, TCSAFLUSH, &saved);
    write_all(screen_out, LEAVE, sizeof LEAVE - 1);
    saved_in = -1;
    screen_out = -1;
}

bool terminal_size(int out, int &cols, int &rows)
{
    winsize ws{};
    if (ioctl(out, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0)
        return false;
    cols = ws.ws_col;
    rows = ws.ws_row;
    return true;
}
