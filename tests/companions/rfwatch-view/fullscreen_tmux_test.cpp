// SPDX-License-Identifier: MIT
// The full-screen view in a real terminal: rfwatch-view runs in a detached
// tmux session of fixed size against a stand-in daemon that sends a sweep
// of three lines with a tone. The screen must show the axis labels and the
// tone where the frequency span puts them, follow a resize, and leave the
// terminal as it found it on q and on Ctrl-C.
#include "fake_rfwatchd.h"
#include "screen_render.h"
#include "spectrum_line.h"
#include "subprocess.h"
#include "temp_dir.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{

constexpr int TONE_BIN = 40;
constexpr double TONE_MHZ = 2427 + (TONE_BIN + 0.5) * 20 / 64.0;
constexpr FreqSpan SWEEP{2407, 2467};

std::string sample_line(int freq)
{
    std::vector<double> bins(64, -95.0);
    if (freq == 2437)
        bins[TONE_BIN] = -40.0;
    return wdtest::spectrum_line({0, freq, 20, -95, 40, 1, 5, bins});
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The row split into one string per screen column.
std::vector<std::string> cells_of(const std::string &row)
{
    std::vector<std::string> cells;
    for (unsigned char ch : row) {
        if ((ch & 0xc0) != 0x80 || cells.empty())
            cells.emplace_back();
        cells.back() += static_cast<char>(ch);
    }
    return cells;
}

std::string cell(const std::vector<std::string> &rows, int row, int col)
{
    if (row >= static_cast<int>(rows.size()))
        return " ";
    std::vector<std::string> c = cells_of(rows[static_cast<size_t>(row)]);
    return col < static_cast<int>(c.size()) ? c[static_cast<size_t>(col)] : " ";
}

// Everything after stty's first line (speed, rows, columns, which a
// resize changes).
std::string modes(const std::string &stty)
{
    size_t nl = stty.find('\n');
    return nl == std::string::npos ? stty : stty.substr(nl + 1);
}

class TmuxView : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        wdtest::Outcome which = wdtest::run({"/bin/sh", "-c", "command -v tmux"});
        tmux_ = which.out.substr(0, which.out.find('\n'));
        if (!which.exited || which.status != 0 || tmux_.empty())
            GTEST_SKIP() << "SKIPPED: tmux is not installed (tools/setup installs it)";
        dir_ = tmp_.path();
        ASSERT_FALSE(dir_.empty());
        std::vector<std::string> lines;
        for (int f : {2417, 2437, 2457})
            lines.push_back(sample_line(f));
        std::string why;
        server_.repeat(lines, 100);
        ASSERT_TRUE(server_.start(dir_ + "/d.sock", &why)) << why;
        // stty before and after, and the view's status, into files (status
        // last: the test waits for it); the shell ignores Ctrl-C so that
        // only the view sees it.
        std::ofstream(dir_ + "/run.sh")
            << "trap '' INT\n"
            << "stty -a > " << dir_ << "/before\n"
            << "COLORTERM=truecolor " << RFWATCH_VIEW_BIN << " --waterfall -s " << dir_
            << "/d.sock 2> " << dir_ << "/err\n"
            << "echo $? > " << dir_ << "/status.tmp\n"
            << "stty -a > " << dir_ << "/after\n"
            << "mv " << dir_ << "/status.tmp " << dir_ << "/status\n"
            << "echo view-ended\n"
            << "exec sleep 600\n";
        wdtest::Outcome o = tmux(
            {"new-session", "-d", "-s", "view", "-x", "100", "-y", "30", "sh " + dir_ + "/run.sh"});
        ASSERT_TRUE(o.exited && o.status == 0) << o.err;
        started_ = true;
    }

    void TearDown() override
    {
        if (started_)
            tmux({"kill-server"});
        server_.stop();
    }

    wdtest::Outcome tmux(std::vector<std::string> args)
    {
        // A server of our own (-S), without anyone's configuration.
        args.insert(args.begin(), {tmux_, "-u", "-S", dir_ + "/tmux.sock", "-f", "/dev/null"});
        return wdtest::run(args, {}, 20000);
    }

    std::vector<std::string> screen()
    {
        std::vector<std::string> rows;
        std::stringstream s(tmux({"capture-pane", "-p", "-t", "view"}).out);
        for (std::string line; std::getline(s, line);)
            rows.push_back(line);
        return rows;
    }

    // Polls the screen until `ready` holds; false after a generous deadline.
    template <typename F> bool wait_screen(F ready, std::vector<std::string> &rows)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            rows = screen();
            if (ready(rows))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    bool wait_file(const std::string &name)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            if (!read_file(dir_ + "/" + name).empty())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // The labels at the columns the span gives, and the tone alone half-way
    // up the spectrum, at its column.
    void expect_layout(const std::vector<std::string> &rows, int cols, int lines)
    {
        const Layout l = layout_for(cols, lines);
        ASSERT_TRUE(l.fits);
        ASSERT_GT(static_cast<int>(rows.size()), l.label_row);
        const std::string &labels = rows[static_cast<size_t>(l.label_row)];
        auto column = [&](double f) {
            return l.plot_left +
                   static_cast<int>(std::floor((f - SWEEP.from_mhz) /
                                               (SWEEP.to_mhz - SWEEP.from_mhz) * l.plot_width));
        };
        for (int f = 2420; f <= 2460; f += 20) {
            const int col = column(f);
            EXPECT_EQ(labels.find(std::to_string(f)), static_cast<size_t>(col - 2))
                << f << " MHz in " << labels;
            EXPECT_EQ(cell(rows, l.axis_row, col), "\u252c") << f << " MHz: " << rows[l.axis_row];
        }
        const int tone = column(TONE_MHZ);
        const int middle = l.spectrum_top + l.spectrum_rows / 2;
        std::vector<int> bars;
        for (int c = l.plot_left; c < cols; c++)
            if (cell(rows, middle, c) == "\u2588")
                bars.push_back(c);
        EXPECT_EQ(bars, std::vector<int>{tone}) << rows[static_cast<size_t>(middle)];
        EXPECT_NE(rows[0].find("peak -40.00 dBm @ 2439.66 MHz"), std::string::npos) << rows[0];
    }

    static bool axis_shown(const std::vector<std::string> &rows, int cols, int lines)
    {
        const Layout l = layout_for(cols, lines);
        return static_cast<int>(rows.size()) > l.label_row &&
               rows[static_cast<size_t>(l.label_row)].find("2460") != std::string::npos &&
               rows[0].find("peak") != std::string::npos;
    }

    wdtest::TempDir tmp_{"rfwatch-view-tmux"};
    std::string tmux_, dir_;
    wdtest::FakeRfwatchd server_;
    bool started_ = false;
};

} // namespace

TEST_F(TmuxView, DrawsTheSweepFollowsAResizeAndRestoresTheTerminalOnQ)
{
    std::vector<std::string> rows;
    ASSERT_TRUE(wait_screen([](const auto &r) { return axis_shown(r, 100, 30); }, rows))
        << "no axis; the screen:\n"
        << ::testing::PrintToString(rows) << "\nstderr: " << read_file(dir_ + "/err");
    expect_layout(rows, 100, 30);

    ASSERT_EQ(tmux({"resize-window", "-t", "view", "-x", "80", "-y", "24"}).status, 0);
    ASSERT_TRUE(
        wait_screen([](const auto &r) { return r.size() == 24 && axis_shown(r, 80, 24); }, rows))
        << ::testing::PrintToString(rows);
    expect_layout(rows, 80, 24);

    ASSERT_EQ(tmux({"send-keys", "-t", "view", "q"}).status, 0);
    ASSERT_TRUE(wait_file("status")) << "the view did not end on q";
    EXPECT_EQ(read_file(dir_ + "/status"), "0\n") << read_file(dir_ + "/err");
    EXPECT_EQ(modes(read_file(dir_ + "/after")), modes(read_file(dir_ + "/before")));
    // Back on the normal screen: the shell's output, no trace of the view.
    ASSERT_TRUE(wait_screen(
        [](const auto &r) {
            for (const std::string &row : r)
                if (row.find("view-ended") != std::string::npos)
                    return true;
            return false;
        },
        rows))
        << ::testing::PrintToString(rows);
    for (const std::string &row : rows)
        EXPECT_EQ(row.find("peak"), std::string::npos) << row;
}

TEST_F(TmuxView, CtrlCRestoresTheTerminal)
{
    std::vector<std::string> rows;
    ASSERT_TRUE(wait_screen([](const auto &r) { return axis_shown(r, 100, 30); }, rows))
        << ::testing::PrintToString(rows);
    ASSERT_EQ(tmux({"send-keys", "-t", "view", "C-c"}).status, 0);
    ASSERT_TRUE(wait_file("status")) << "the view did not end on Ctrl-C";
    EXPECT_EQ(read_file(dir_ + "/status"), "0\n") << read_file(dir_ + "/err");
    EXPECT_EQ(read_file(dir_ + "/after"), read_file(dir_ + "/before"));
    const std::string shown = ::testing::PrintToString(screen());
    EXPECT_EQ(shown.find("peak"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("\u2588"), std::string::npos) << shown;
}
