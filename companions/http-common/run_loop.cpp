#include "run_loop.h"

#include "http_gate.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace
{

constexpr useconds_t EMFILE_PAUSE_US = 50000;

volatile sig_atomic_t stop = 0;
struct lws_context *running = nullptr;

void on_signal(int /*signal*/)
{
    stop = 1;
    // lws_service may be waiting in poll() with nothing to serve.
    if (running != nullptr)
        lws_cancel_service(running);
}

} // namespace

void run_until_signalled(struct lws_context *context, const std::string &ready_line)
{
    running = context;
    signal(SIGINT, on_signal);
    signal(SIGTERM, on_signal);
    signal(SIGPIPE, SIG_IGN);
    // Only now: whoever waits for this line may stop the program at once,
    // and a signal before the handlers would kill it with no clean exit.
    fputs(ready_line.c_str(), stdout);
    fflush(stdout);
    while (!stop && lws_service(context, 0) >= 0) {
        // Out of descriptors, the listener stays readable and every turn
        // would fail the same accept: pause a little, as long as it lasts.
        if (http_gate_descriptors_out())
            usleep(EMFILE_PAUSE_US);
    }
    running = nullptr;
}
