// SPDX-License-Identifier: MIT
// The full-screen view's renderer: where labels, ticks and the spectrum's
// bars land, the status line, the waterfall, and both colour depths.
#include "screen_render.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

constexpr FreqSpan SWEEP{2407, 2467};

// Column (code point index) of `needle` in a row of one-column glyphs.
int column_of(const std::string &row, const std::string &needle)
{
    size_t at = row.find(needle);
    if (at == std::string::npos)
        return -1;
    int col = 0;
    for (size_t i = 0; i < at; i++)
        col += (static_cast<unsigned char>(row[i]) & 0xc0) != 0x80;
    return col;
}

Screen composed(const Layout &l, const ScreenState &s)
{
    Screen out;
    screen_compose(l, s, out);
    return out;
}

ScreenState noise_with_tone(const Layout &l, int tone_column)
{
    ScreenState s;
    s.span = SWEEP;
    s.live.assign(static_cast<size_t>(l.plot_width), -95);
    s.max_hold = s.live;
    s.live[static_cast<size_t>(tone_column - l.plot_left)] = -40;
    s.max_hold[static_cast<size_t>(tone_column - l.plot_left)] = -40;
    return s;
}

} // namespace

TEST(ScreenLayout, SplitsTheRowsAndRefusesTinyTerminals)
{
    Layout l = layout_for(100, 30);
    ASSERT_TRUE(l.fits);
    EXPECT_EQ(l.plot_left + l.plot_width, 100);
    EXPECT_EQ(l.spectrum_top, 1);
    EXPECT_EQ(l.axis_row, l.spectrum_top + l.spectrum_rows);
    EXPECT_EQ(l.label_row, l.axis_row + 1);
    EXPECT_EQ(l.waterfall_top + l.waterfall_rows, 30);
    EXPECT_GE(l.waterfall_rows, 5);

    Layout tiny = layout_for(15, 5);
    EXPECT_FALSE(tiny.fits);
    Screen s = composed(tiny, ScreenState{});
    EXPECT_NE(screen_row_text(s, 0).find("too small"), std::string::npos);
}

TEST(ScreenLayout, ATitleTakesTheBottomRowAndNothingDrawsOverIt)
{
    Layout l = layout_for(100, 30, true);
    ASSERT_TRUE(l.fits);
    EXPECT_EQ(l.title_row, 29);
    EXPECT_EQ(l.waterfall_top + l.waterfall_rows, 29);
    EXPECT_EQ(layout_for(100, 30).title_row, -1);

    ScreenState st = noise_with_tone(l, l.plot_left + 10);
    st.title = "open http://127.0.0.1:8080/?token=abc \xe2\x9c\x93";
    Waterfall w;
    w.capacity = 100; // more history than rows: it must stop above the title
    for (int i = 0; i < 40; i++)
        waterfall_push(w, st.live);
    st.waterfall = &w;
    Screen s = composed(l, st);
    const std::string bottom = screen_row_text(s, 29);
    EXPECT_EQ(bottom.rfind("open http://127.0.0.1:8080/?token=abc ???", 0), 0u) << bottom;
    for (int c = 0; c < l.cols; c++)
        EXPECT_EQ(s.at(29, c).bg, NO_COLOUR) << "waterfall colour in the title row, column " << c;
    EXPECT_NE(s.at(28, l.plot_left + 10).bg, NO_COLOUR) << "the waterfall reaches the row above";

    // The title's row counts when deciding whether anything fits.
    EXPECT_TRUE(layout_for(30, 8).fits);
    EXPECT_FALSE(layout_for(30, 8, true).fits);

    // The air line sits above the title, and the waterfall stops above it.
    l = layout_for(100, 30, true, true);
    EXPECT_EQ(l.air_row, 28);
    EXPECT_EQ(l.waterfall_top + l.waterfall_rows, 28);
    st.air = "air: ch 6 12% q 95";
    s = composed(l, st);
    EXPECT_EQ(screen_row_text(s, 28).rfind("air: ch 6 12% q 95", 0), 0u);
    EXPECT_EQ(layout_for(100, 30, false, true).air_row, 29);
}

TEST(ScreenAxis, LabelsSitCentredOverTheirTicksAtTheirFrequencies)
{
    for (int cols : {100, 160, 60}) {
        Layout l = layout_for(cols, 30);
        Screen s = composed(l, noise_with_tone(l, l.plot_left));
        std::string labels = screen_row_text(s, l.label_row);
        int found = 0;
        for (int f = 2410; f <= 2460; f += 10) {
            const int col =
                l.plot_left + static_cast<int>(std::floor((f - 2407.0) / 60 * l.plot_width));
            const int at = column_of(labels, std::to_string(f));
            if (at < 0)
                continue; // a narrow screen leaves some out
            found++;
            EXPECT_EQ(at, col - 2) << f << " on " << cols << " columns: " << labels;
            EXPECT_STREQ(s.at(l.axis_row, col).glyph, "\u252c") << f << " on " << cols;
        }
        EXPECT_GE(found, cols >= 100 ? 6 : 3) << labels;
    }
}

TEST(ScreenAxis, NarrowSpansGetDecimalLabels)
{
    Layout l = layout_for(100, 30);
    ScreenState st;
    st.span = {2436.5, 2437.5};
    Screen s = composed(l, st);
    std::string labels = screen_row_text(s, l.label_row);
    EXPECT_NE(labels.find("2437.0"), std::string::npos) << labels;
    EXPECT_EQ(column_of(labels, "2437.0"), plot_column(l, st.span, 2437.0) - 3);
}

TEST(ScreenSpectrum, TheToneStandsAloneInItsColumnWithMaxHoldAboveTheBars)
{
    Layout l = layout_for(100, 30);
    const int tone = 57;
    ScreenState st = noise_with_tone(l, tone);
    st.max_hold[10] = -60; // a past signal, now gone
    Screen s = composed(l, st);
    // Half-way up only the tone reaches; the noise fills the lowest rows.
    const int middle = l.spectrum_top + l.spectrum_rows / 2;
    for (int c = l.plot_left; c < l.cols; c++)
        EXPECT_STREQ(s.at(middle, c).glyph, c == tone ? "\u2588" : " ") << "column " << c;
    EXPECT_STREQ(s.at(l.axis_row - 1, l.plot_left + 3).glyph, "\u2588");
    EXPECT_STREQ(s.at(l.spectrum_top, tone).glyph, " "); // -40 is below the top of -20

    int marks = 0;
    for (int r = l.spectrum_top; r < l.axis_row; r++)
        marks += std::string(s.at(r, l.plot_left + 10).glyph) == "\u2500";
    EXPECT_EQ(marks, 1);
}

TEST(ScreenStatus, ShowsPeakScaleDetectorAndPause)
{
    Layout l = layout_for(140, 30);
    ScreenState st;
    st.span = SWEEP;
    st.peak = Peak{true, 2439.65625, -40};
    st.detector = 1;
    st.paused = true;
    std::string top = screen_row_text(composed(l, st), 0);
    EXPECT_NE(top.find("peak -40.00 dBm @ 2439.66 MHz"), std::string::npos) << top;
    EXPECT_NE(top.find("det 1"), std::string::npos);
    EXPECT_NE(top.find("2407.0-2467.0 MHz"), std::string::npos);
    EXPECT_NE(top.find("PAUSED"), std::string::npos);
    EXPECT_NE(top.find("q quit"), std::string::npos);
    std::string scale = screen_row_text(composed(l, st), l.spectrum_top);
    EXPECT_EQ(scale.rfind("  -20", 0), 0u) << scale;
}

TEST(ScreenWaterfall, NewestRowOnTopBoundedAndRestartedOnANewWidth)
{
    Waterfall w;
    w.capacity = 3;
    for (float v : {-100.f, -90.f, -80.f, -30.f})
        waterfall_push(w, std::vector<float>(4, v));
    ASSERT_EQ(w.rows.size(), 3u);
    EXPECT_FLOAT_EQ(w.rows.front()[0], -30);
    EXPECT_FLOAT_EQ(w.rows.back()[0], -90);
    waterfall_push(w, std::vector<float>(5, -50));
    EXPECT_EQ(w.rows.size(), 1u);

    Layout l = layout_for(100, 30);
    ScreenState st;
    st.span = SWEEP;
    Waterfall shown;
    shown.capacity = 10;
    waterfall_push(shown, std::vector<float>(static_cast<size_t>(l.plot_width), -110));
    waterfall_push(shown, std::vector<float>(static_cast<size_t>(l.plot_width), -20));
    st.waterfall = &shown;
    Screen s = composed(l, st);
    EXPECT_EQ(s.at(l.waterfall_top, l.plot_left).bg, 0xff0000u);
    EXPECT_EQ(s.at(l.waterfall_top + 1, l.plot_left).bg, 0x000040u);
    EXPECT_EQ(s.at(l.waterfall_top + 2, l.plot_left).bg, NO_COLOUR);
}

TEST(ScreenColour, TrueColourWhenTheTerminalSaysSoElse256)
{
    EXPECT_EQ(colour_depth_from("truecolor"), ColourDepth::TRUE_COLOUR);
    EXPECT_EQ(colour_depth_from("24bit"), ColourDepth::TRUE_COLOUR);
    EXPECT_EQ(colour_depth_from(nullptr), ColourDepth::PALETTE_256);
    EXPECT_EQ(colour_depth_from("yes"), ColourDepth::PALETTE_256);

    EXPECT_EQ(heat_colour(-20, -110, -20), 0xff0000u);
    EXPECT_EQ(heat_colour(-200, -110, -20), 0x000040u);
    EXPECT_EQ(heat_colour(-65, -110, -20), 0x00ffffu);

    Screen s;
    s.cols = 2;
    s.rows = 1;
    s.cells = {Cell{"a", NO_COLOUR, 0xff0000}, Cell{"b", 0x00ff00, NO_COLOUR}};
    std::string truecolour, palette;
    screen_encode(s, ColourDepth::TRUE_COLOUR, truecolour);
    screen_encode(s, ColourDepth::PALETTE_256, palette);
    EXPECT_NE(truecolour.find("\x1b[48;2;255;0;0ma"), std::string::npos);
    EXPECT_NE(truecolour.find("\x1b[38;2;0;255;0mb"), std::string::npos);
    EXPECT_EQ(truecolour.find(";5;"), std::string::npos);
    // The 6x6x6 cube: red is 16 + 36 * 5, green 16 + 6 * 5.
    EXPECT_NE(palette.find("\x1b[48;5;196ma"), std::string::npos) << palette;
    EXPECT_NE(palette.find("\x1b[38;5;46mb"), std::string::npos);
    EXPECT_EQ(palette.find(";2;"), std::string::npos);
    EXPECT_EQ(palette.rfind("\x1b[0m"), palette.size() - 4); // ends in plain colours
}
