// SPDX-License-Identifier: MIT
#include "screen_render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{

constexpr int SCALE_WIDTH = 6; // "-110" right-aligned in five, then the rule
constexpr int MIN_PLOT_WIDTH = 16;
constexpr int MIN_ROWS = 8;
constexpr int LABEL_SPACING = 10; // at least this many columns per frequency label
constexpr uint32_t BAR_COLOUR = 0x40d040;
constexpr uint32_t MAX_HOLD_COLOUR = 0xe0c040;
constexpr uint32_t STATUS_FG = 0x000000, STATUS_BG = 0xc0c0c0;

// A row's fill in eighths, from empty to full.
constexpr std::array<const char *, 9> EIGHTHS = {" ",      "\u2581", "\u2582", "\u2583", "\u2584",
                                                 "\u2585", "\u2586", "\u2587", "\u2588"};
constexpr const char *RULE = "\u2500", *TICK = "\u252c", *SCALE_RULE = "\u2524", *CORNER = "\u2514",
                     *MAX_MARK = "\u2500";

struct HeatStop {
    double at;
    uint32_t rgb;
};
constexpr std::array<HeatStop, 5> HEAT = {
    {{0.0, 0x000040}, {0.25, 0x0000ff}, {0.5, 0x00ffff}, {0.75, 0xffff00}, {1.0, 0xff0000}}};

// One static string per printable ASCII character, for cells of text.
struct AsciiGlyphs {
    std::array<std::array<char, 2>, 128> g{};
    constexpr AsciiGlyphs()
    {
        for (size_t i = 0; i < g.size(); i++)
            g[i] = {static_cast<char>(i >= 32 && i < 127 ? i : '?'), 0};
    }
};
constexpr AsciiGlyphs ASCII;

void put_text(Screen &s, int row, int col, const char *text, uint32_t fg = NO_COLOUR,
              uint32_t bg = NO_COLOUR)
{
    for (; *text && col < s.cols; text++, col++)
        if (col >= 0) {
            const auto c = static_cast<unsigned char>(*text);
            s.at(row, col) = Cell{ASCII.g[c < ASCII.g.size() ? c : '?'].data(), fg, bg};
        }
}

void compose_status(const Layout &l, const ScreenState &st, Screen &s)
{
    for (int c = 0; c < l.cols; c++)
        s.at(0, c) = Cell{" ", STATUS_FG, STATUS_BG};
    // Most wanted first: a narrow terminal cuts the end.
    char text[256];
    int n = snprintf(text, sizeof text, "%s", st.paused ? " PAUSED" : "");
    if (st.peak.found)
        n += snprintf(text + n, sizeof text - static_cast<size_t>(n), " peak %.2f dBm @ %.2f MHz ",
                      st.peak.dbm, st.peak.freq_mhz);
    snprintf(text + n, sizeof text - static_cast<size_t>(n), " det %d  %.1f-%.1f MHz", st.detector,
             st.span.from_mhz, st.span.to_mhz);
    put_text(s, 0, 0, text, STATUS_FG, STATUS_BG);
    static const char keys[] = "q quit p pause m max d det +/- dB ";
    int keys_at = l.cols - static_cast<int>(strlen(keys));
    if (keys_at > static_cast<int>(strlen(text)) + 2)
        put_text(s, 0, keys_at, keys, STATUS_FG, STATUS_BG);
}

// Height of a value above the bottom of the range, in eighths of a row.
int eighths(float v, const ScreenState &st, int rows)
{
    double t = (v - st.db_bottom) / (st.db_top - st.db_bottom);
    return static_cast<int>(std::lround(std::clamp(t, 0.0, 1.0) * rows * 8));
}

void compose_scale(const Layout &l, const ScreenState &st, Screen &s)
{
    char text[16];
    double per_row = (st.db_top - st.db_bottom) / l.spectrum_rows;
    for (int r = 0; r < l.spectrum_rows; r++) {
        // Every third row names the power at its top edge.
        if (r % 3 == 0) {
            snprintf(text, sizeof text, "%5.0f", st.db_top - r * per_row);
            put_text(s, l.spectrum_top + r, 0, text);
        }
        s.at(l.spectrum_top + r, SCALE_WIDTH - 1).glyph = SCALE_RULE;
    }
    if (l.spectrum_rows > 2)
        put_text(s, l.spectrum_top + 1, 1, "dBm");
    snprintf(text, sizeof text, "%5.0f", st.db_bottom);
    put_text(s, l.axis_row, 0, text);
    s.at(l.axis_row, SCALE_WIDTH - 1).glyph = CORNER;
    put_text(s, l.label_row, 1, "MHz");
}

void compose_spectrum(const Layout &l, const ScreenState &st, Screen &s)
{
    const int rows = l.spectrum_rows;
    for (int c = 0; c < l.plot_width && c < static_cast<int>(st.live.size()); c++) {
        const size_t i = static_cast<size_t>(c);
        int live = std::isnan(st.live[i]) ? -1 : eighths(st.live[i], st, rows);
        int hold = c < static_cast<int>(st.max_hold.size()) && !std::isnan(st.max_hold[i])
                       ? eighths(st.max_hold[i], st, rows)
                       : -1;
        for (int k = 0; k < rows; k++) { // k: rows up from the bottom
            Cell &cell = s.at(l.spectrum_top + rows - 1 - k, l.plot_left + c);
            int fill = std::clamp(live - 8 * k, 0, 8);
            if (fill > 0) {
                cell = Cell{EIGHTHS[static_cast<size_t>(fill)], BAR_COLOUR, NO_COLOUR};
            } else if (hold > 8 * k && hold <= 8 * (k + 1) && hold > live) {
                cell = Cell{MAX_MARK, MAX_HOLD_COLOUR, NO_COLOUR};
            }
        }
    }
}

int label_decimals(double step)
{
    return step >= 1 ? 0 : step >= 0.1 ? 1 : 2;
}

double nice_step(double raw)
{
    double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= raw)
            return m * p;
    return 10 * p;
}

void compose_axis(const Layout &l, const ScreenState &st, Screen &s)
{
    for (int c = 0; c < l.plot_width; c++)
        s.at(l.axis_row, l.plot_left + c).glyph = RULE;
    if (st.span.empty())
        return;
    const double width = st.span.to_mhz - st.span.from_mhz;
    const double step = nice_step(width / std::max(1, l.plot_width / LABEL_SPACING));
    const int decimals = label_decimals(step);
    int free_from = 0; // first column a label may use
    // Indexing by step count keeps the labels exact multiples of the step.
    for (double k = std::ceil(st.span.from_mhz / step - 1e-9); k * step < st.span.to_mhz; k++) {
        const double f = k * step;
        const int col = plot_column(l, st.span, f);
        if (col < l.plot_left || col >= l.plot_left + l.plot_width)
            continue;
        char text[32];
        const int len = snprintf(text, sizeof text, "%.*f", decimals, f);
        const int start = col - len / 2;
        if (start < free_from || start + len > l.cols)
            continue;
        s.at(l.axis_row, col).glyph = TICK;
        put_text(s, l.label_row, start, text);
        free_from = start + len + 1;
    }
}

void compose_waterfall(const Layout &l, const ScreenState &st, Screen &s)
{
    if (!st.waterfall)
        return;
    const auto &history = st.waterfall->rows;
    for (int r = 0; r < l.waterfall_rows && r < static_cast<int>(history.size()); r++) {
        const std::vector<float> &row = history[static_cast<size_t>(r)];
        for (int c = 0; c < l.plot_width && c < static_cast<int>(row.size()); c++) {
            float v = row[static_cast<size_t>(c)];
            if (!std::isnan(v))
                s.at(l.waterfall_top + r, l.plot_left + c).bg =
                    heat_colour(v, st.db_bottom, st.db_top);
        }
    }
}

void append_colour(std::string &out, uint32_t rgb, bool background, ColourDepth depth)
{
    char code[32];
    const unsigned r = (rgb >> 16) & 0xff, g = (rgb >> 8) & 0xff, b = rgb & 0xff;
    const int layer = background ? 48 : 38;
    if (depth == ColourDepth::TRUE_COLOUR) {
        snprintf(code, sizeof code, "\x1b[%d;2;%u;%u;%um", layer, r, g, b);
    } else {
        // The 6x6x6 cube of the 256-colour palette, from index 16.
        auto six = [](unsigned x) { return (x * 5 + 127) / 255; };
        snprintf(code, sizeof code, "\x1b[%d;5;%um", layer, 16 + 36 * six(r) + 6 * six(g) + six(b));
    }
    out += code;
}

} // namespace

ColourDepth colour_depth_from(const char *colorterm)
{
    if (colorterm && (strcmp(colorterm, "truecolor") == 0 || strcmp(colorterm, "24bit") == 0))
        return ColourDepth::TRUE_COLOUR;
    return ColourDepth::PALETTE_256;
}

Layout layout_for(int cols, int rows, bool title, bool air)
{
    Layout l;
    l.cols = std::max(cols, 0);
    l.rows = std::max(rows, 0);
    const int bottom_rows = (title ? 1 : 0) + (air ? 1 : 0);
    l.fits = cols >= SCALE_WIDTH + MIN_PLOT_WIDTH && rows >= MIN_ROWS + bottom_rows;
    if (!l.fits)
        return l;
    l.plot_left = SCALE_WIDTH;
    l.plot_width = cols - SCALE_WIDTH;
    l.spectrum_top = 1;
    l.spectrum_rows = std::max(3, (rows - bottom_rows - 3) * 2 / 5);
    l.axis_row = l.spectrum_top + l.spectrum_rows;
    l.label_row = l.axis_row + 1;
    l.waterfall_top = l.label_row + 1;
    l.waterfall_rows = rows - bottom_rows - l.waterfall_top;
    l.title_row = title ? rows - 1 : -1;
    l.air_row = air ? rows - 1 - (title ? 1 : 0) : -1;
    return l;
}

int plot_column(const Layout &l, FreqSpan span, double freq_mhz)
{
    const double w = (span.to_mhz - span.from_mhz) / l.plot_width;
    return l.plot_left + static_cast<int>(std::floor((freq_mhz - span.from_mhz) / w));
}

void waterfall_push(Waterfall &w, const std::vector<float> &row)
{
    if (!w.rows.empty() && w.rows.front().size() != row.size())
        w.rows.clear();
    w.rows.push_front(row);
    while (w.rows.size() > w.capacity)
        w.rows.pop_back();
}

uint32_t heat_colour(double dbm, double bottom, double top)
{
    const double t = std::clamp((dbm - bottom) / (top - bottom), 0.0, 1.0);
    size_t i = 1;
    while (i + 1 < HEAT.size() && t > HEAT[i].at)
        i++;
    const HeatStop &a = HEAT[i - 1], &b = HEAT[i];
    const double u = (t - a.at) / (b.at - a.at);
    uint32_t rgb = 0;
    for (int shift : {16, 8, 0}) {
        const double x = ((a.rgb >> shift) & 0xff) * (1 - u) + ((b.rgb >> shift) & 0xff) * u;
        rgb |= static_cast<uint32_t>(std::lround(x)) << shift;
    }
    return rgb;
}

void screen_compose(const Layout &l, const ScreenState &st, Screen &out)
{
    out.cols = l.cols;
    out.rows = l.rows;
    out.cells.assign(static_cast<size_t>(l.cols) * static_cast<size_t>(l.rows), Cell{});
    if (!l.fits) {
        if (l.rows > 0)
            put_text(out, 0, 0, "too small");
        return;
    }
    compose_status(l, st, out);
    compose_scale(l, st, out);
    compose_spectrum(l, st, out);
    compose_axis(l, st, out);
    compose_waterfall(l, st, out);
    if (l.title_row >= 0)
        put_text(out, l.title_row, 0, st.title.c_str());
    if (l.air_row >= 0)
        put_text(out, l.air_row, 0, st.air.c_str());
}

void screen_encode(const Screen &s, ColourDepth depth, std::string &out)
{
    out.clear();
    out.reserve(static_cast<size_t>(s.cols * s.rows) * 4);
    char move[32];
    for (int r = 0; r < s.rows; r++) {
        snprintf(move, sizeof move, "\x1b[%d;1H\x1b[0m", r + 1);
        out += move;
        uint32_t fg = NO_COLOUR, bg = NO_COLOUR;
        for (int c = 0; c < s.cols; c++) {
            const Cell &cell = s.at(r, c);
            if (cell.fg != fg || cell.bg != bg) {
                out += "\x1b[0m";
                if (cell.fg != NO_COLOUR)
                    append_colour(out, cell.fg, false, depth);
                if (cell.bg != NO_COLOUR)
                    append_colour(out, cell.bg, true, depth);
                fg = cell.fg;
                bg = cell.bg;
            }
            out += cell.glyph;
        }
    }
    out += "\x1b[0m";
}

std::string screen_row_text(const Screen &s, int row)
{
    std::string text;
    for (int c = 0; c < s.cols; c++)
        text += s.at(row, c).glyph;
    return text;
}
