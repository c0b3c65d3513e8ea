// SPDX-License-Identifier: MIT
#include "run_loop.h"

#include "http_gate.h"

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

namespace
{

constexpr useconds_t EMFILE_PAUSE_US = 50000;

sigset_t stop_signals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

int on_signalfd(struct lws *wsi, enum lws_callback_reasons reason, void * /*user*/, void * /*in*/,
                size_t /*len*/)
{
    signalfd_siginfo info{};
    auto *stop = static_cast<bool *>(lws_get_opaque_user_data(wsi));
    if (reason == LWS_CALLBACK_RAW_RX_FILE &&
        read(lws_get_socket_fd(wsi), &info, sizeof info) == static_cast<ssize_t>(sizeof info) &&
        stop != nullptr)
        *stop = true;
    return 0;
}

// A vhost of its own, so no program's protocol list has to carry it.
const struct lws_protocols SIGNAL_PROTOCOLS[] = {
    {"stop-signals", on_signalfd, 0, 0, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

} // namespace

void stop_signals_block()
{
    const sigset_t set = stop_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool run_until_signalled(struct lws_context *context, const std::string &ready_line)
{
    stop_signals_block();
    const sigset_t set = stop_signals();
    lws_context_creation_info info{};
    info.port = CONTEXT_PORT_NO_LISTEN;
    info.protocols = SIGNAL_PROTOCOLS;
    info.vhost_name = "stop-signals";
    struct lws_vhost *vhost = lws_create_vhost(context, &info);
    lws_sock_file_fd_type desc{};
    desc.filefd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    struct lws *wsi = vhost == nullptr || desc.filefd < 0
                          ? nullptr
                          : lws_adopt_descriptor_vhost(vhost, LWS_ADOPT_RAW_FILE_DESC, desc,
                                                       SIGNAL_PROTOCOLS[0].name, nullptr);
    if (wsi == nullptr) { // lws closed the descriptor if it was given one
        if (vhost == nullptr && desc.filefd >= 0)
            close(desc.filefd);
        perror("cannot watch for SIGINT and SIGTERM");
        return false;
    }
    bool stop = false;
    lws_set_opaque_user_data(wsi, &stop);
    // Only now: whoever waits for this line may stop the program at once.
    fputs(ready_line.c_str(), stdout);
    fflush(stdout);
    while (!stop && lws_service(context, 0) >= 0) {
        // Out of descriptors, the listener stays readable and every turn
        // would fail the same accept: pause a little, as long as it lasts.
        if (http_gate_descriptors_out())
            usleep(EMFILE_PAUSE_US);
    }
    lws_set_opaque_user_data(wsi, nullptr);
    return true;
}
