// SPDX-License-Identifier: MIT
// Turns what the full-screen view knows into a screen of text: a status
// line with the peak, the spectrum (block characters in eighths of a row)
// with a dBm scale, the frequency axis, and the waterfall, newest row on top.
// First a grid of cells (what tests look at), then the escape sequences
// that draw it, in 24-bit or 256 colours.
#pragma once

#include "trace_model.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

enum class ColourDepth { TRUE_COLOUR, PALETTE_256 };

// COLORTERM as terminals set it (may be null).
ColourDepth colour_depth_from(const char *colorterm);

struct Layout {
    int cols = 0, rows = 0;
    bool fits = false;  // large enough to draw anything but a notice
    int plot_left = 0;  // first column of the plot; the dBm scale is left of it
    int plot_width = 0; // columns of the plot
    int spectrum_top = 0, spectrum_rows = 0;
    int axis_row = 0;  // the rule with a tick under each label
    int label_row = 0; // the frequencies
    int waterfall_top = 0, waterfall_rows = 0;
    int title_row = -1; // the bottom row, when a title is shown
    int air_row = -1;   // above the title, when air lines are asked for
};

// Rows and columns from 0; row 0 is the status line. With a title, the
// bottom row holds it; with air, the row above the title (or the bottom).
Layout layout_for(int cols, int rows, bool title = false, bool air = false);

// Screen column of a frequency in the plot (may lie outside it).
int plot_column(const Layout &l, FreqSpan span, double freq_mhz);

// Past frames of the plot's columns, newest first, at most `capacity`.
struct Waterfall {
    std::deque<std::vector<float>> rows;
    size_t capacity = 0;
};
// A row of a different width than the held ones starts the history again.
void waterfall_push(Waterfall &w, const std::vector<float> &row);

struct ScreenState {
    FreqSpan span;
    std::vector<float> live, max_hold; // per plot column
    const Waterfall *waterfall = nullptr;
    Peak peak;
    int detector = -1;
    double db_bottom = -110, db_top = -20;
    bool paused = false;
    std::string title; // printable ASCII; anything else shows as '?'
    std::string air;   // the air line, likewise
};

constexpr uint32_t NO_COLOUR = 0xff000000; // the terminal's own

struct Cell {
    const char *glyph = " ";                 // one column wide, UTF-8, static storage
    uint32_t fg = NO_COLOUR, bg = NO_COLOUR; // 0xRRGGBB
};

struct Screen {
    int cols = 0, rows = 0;
    std::vector<Cell> cells; // row-major
    size_t index(int row, int col) const
    {
        return static_cast<size_t>(row) * static_cast<size_t>(cols) + static_cast<size_t>(col);
    }
    Cell &at(int row, int col) { return cells[index(row, col)]; }
    const Cell &at(int row, int col) const { return cells[index(row, col)]; }
};

void screen_compose(const Layout &l, const ScreenState &s, Screen &out);
// The escape sequences that draw the whole screen, from the top left.
void screen_encode(const Screen &s, ColourDepth depth, std::string &out);
// The text of one row, without colours (for tests and checks).
std::string screen_row_text(const Screen &s, int row);

// The waterfall's colour for a power within the range: dark blue, blue,
// cyan, yellow, red.
uint32_t heat_colour(double dbm, double bottom, double top);
