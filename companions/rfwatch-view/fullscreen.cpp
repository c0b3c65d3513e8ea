// SPDX-License-Identifier: MIT
#include "fullscreen.h"

#include "air_status.h"
#include "screen_render.h"
#include "summary.h"
#include "terminal.h"
#include "trace_model.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

constexpr double FRAME_S = 0.1; // at most ten redraws a second
constexpr double RANGE_STEP_DB = 5;

struct View {
    TraceModel model;
    Waterfall waterfall;
    ScreenState state;
    Layout layout;
    Screen screen;
    std::string text;
    std::vector<float> bins;
    AirStatus air;
    bool air_shown = false; // air lines were asked for
    ColourDepth depth = ColourDepth::PALETTE_256;
    bool quit = false;
    bool dirty = true;  // something to show
    bool fresh = false; // new lines since the last waterfall row
    bool clear = true;  // the screen needs wiping first (size changed)
};

double now_s()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void write_all(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

void measure(View &v)
{
    int cols = 80, rows = 24;
    terminal_size(STDOUT_FILENO, cols, rows);
    v.layout = layout_for(cols, rows, !v.state.title.empty(), v.air_shown);
    v.waterfall.capacity = static_cast<size_t>(std::max(v.layout.waterfall_rows, 0));
    v.clear = true;
    v.dirty = true;
}

void quit(View &v)
{
    v.quit = true;
}
void pause(View &v)
{
    v.state.paused = !v.state.paused;
}
void reset_max_hold(View &v)
{
    model_reset_max_hold(v.model);
}
void next_detector(View &v)
{
    model_next_detector(v.model);
    v.waterfall.rows.clear(); // another detector's history would mislead
}
void range_up(View &v)
{
    v.state.db_bottom += RANGE_STEP_DB;
    v.state.db_top += RANGE_STEP_DB;
}
void range_down(View &v)
{
    v.state.db_bottom -= RANGE_STEP_DB;
    v.state.db_top -= RANGE_STEP_DB;
}

struct Key {
    char key;
    void (*act)(View &);
};
constexpr std::array<Key, 9> KEYS = {{{'q', quit},
                                      {'Q', quit},
                                      {'\x03', quit}, // Ctrl-C should the terminal not signal
                                      {'p', pause},
                                      {'m', reset_max_hold},
                                      {'d', next_detector},
                                      {'+', range_up},
                                      {'=', range_up}, // + unshifted
                                      {'-', range_down}}};

// false when the keys' input has ended.
bool read_keys(View &v)
{
    char buf[64];
    ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0)
        return errno == EINTR || errno == EAGAIN;
    for (ssize_t i = 0; i < n; i++)
        for (const Key &k : KEYS)
            if (k.key == buf[i]) {
                k.act(v);
                v.dirty = true;
            }
    return n > 0;
}

void take_line(void *context, std::string_view text)
{
    View &v = *static_cast<View *>(context);
    if (is_air_line(text)) {
        static AirLine air; // large
        if (!v.state.paused && parse_air_line(text, air)) {
            air_status_add(v.air, air, now_s());
            v.dirty = true;
        }
        return;
    }
    SampleLine l{};
    if (v.state.paused || !parse_sample_line(text, l, &v.bins))
        return;
    if (model_add(v.model, l, v.bins))
        v.fresh = v.dirty = true;
}

void draw(View &v)
{
    ScreenState &st = v.state;
    st.span = model_span(v.model);
    model_columns(v.model, st.span, v.layout.plot_width, st.live, st.max_hold);
    if (v.fresh && !st.paused && !st.span.empty())
        waterfall_push(v.waterfall, st.live);
    v.fresh = false;
    st.peak = model_peak(v.model);
    st.detector = v.model.detector;
    st.waterfall = &v.waterfall;
    if (v.air_shown)
        st.air = air_status_text(v.air, now_s(), v.layout.cols, " | ");
    screen_compose(v.layout, st, v.screen);
    screen_encode(v.screen, v.depth, v.text);
    if (v.clear)
        v.text.insert(0, "\x1b[2J");
    write_all(STDOUT_FILENO, v.text);
    v.clear = false;
    v.dirty = false;
}

int loop(View &v, ViewLink &link, double seconds, const volatile sig_atomic_t &stop)
{
    const double start = now_s();
    double last_draw = 0;
    bool keys_open = true;
    link.line = take_line;
    link.line_context = &v;
    while (!stop && !v.quit) {
        if (seconds > 0 && now_s() - start >= seconds)
            return 0;
        if (terminal_resized) {
            terminal_resized = 0;
            measure(v);
        }
        std::array<pollfd, 2> p = {
            {view_link_poll(link), {keys_open ? STDIN_FILENO : -1, POLLIN, 0}}};
        if (poll(p.data(), p.size(), 50) < 0)
            p[0].revents = p[1].revents = 0;
        if (!view_link_handle(link, p[0].revents))
            return link.status;
        if (p[1].revents & (POLLIN | POLLHUP | POLLERR))
            keys_open = read_keys(v);
        if (v.dirty && now_s() - last_draw >= FRAME_S) {
            draw(v);
            last_draw = now_s();
        }
    }
    return 0;
}

} // namespace

int run_fullscreen(ViewLink &link, double seconds, const std::string &title, bool air,
                   const volatile sig_atomic_t &stop)
{
    static View v; // large; one per program
    v.state.title = title;
    v.air_shown = air;
    const char *colorterm = getenv("COLORTERM");
    v.depth = colour_depth_from(colorterm);
    int status = 0;
    {
        TerminalGuard guard(STDIN_FILENO, STDOUT_FILENO);
        if (!guard.entered) {
            fprintf(stderr, "rfwatch-view: the full-screen view needs a terminal on stdout\n");
            return 1;
        }
        measure(v);
        status = loop(v, link, seconds, stop);
    }
    if (status == 2)
        fprintf(stderr, "rfwatch-view: the daemon closed the connection\n");
    return status;
}
