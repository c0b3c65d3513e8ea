// SPDX-License-Identifier: MIT
// The terminal as the full-screen view uses it: raw keys, the alternate
// screen, a hidden cursor, and its size. Whatever path the program leaves
// by (the guard's end, exit(), a signal the loop notices), the terminal is
// put back as it was found.
#pragma once

#include <csignal>

// Set by SIGWINCH once the view has entered the terminal.
extern volatile sig_atomic_t terminal_resized;

// Switches the terminal on `in` (keys) and `out` (screen) to the view;
// false (and nothing changed) when `out` is not a terminal.
bool terminal_enter(int in, int out);
// Puts back the saved settings and the normal screen; safe to call again
// and from a signal handler (only tcsetattr and write).
void terminal_restore();
// Columns and rows of the terminal on `out`; false when unknown.
bool terminal_size(int out, int &cols, int &rows);

struct TerminalGuard {
    bool entered;
    TerminalGuard(int in, int out) : entered(terminal_enter(in, out)) {}
    TerminalGuard(const TerminalGuard &) = delete;
    TerminalGuard &operator=(const TerminalGuard &) = delete;
    ~TerminalGuard() { terminal_restore(); }
};
