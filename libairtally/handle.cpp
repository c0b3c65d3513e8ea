// Creation and release of the handle, and the two free-all calls.
#include "handle.h"

#include "list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/socket.h>
#include <sys/socket.h>
#include <unistd.h>

namespace airtally
{

namespace
{

// Large enough for the split wiphy dump's messages; the kernel doubles it.
constexpr int kNlBufferSize = 8192;

// Releases a half-built handle on every early return of radiostats_init.
struct HandleGuard {
    radiostats *h;
    ~HandleGuard() { radiostats_free(h); }
    radiostats *release()
    {
        radiostats *out = h;
        h = nullptr;
        return out;
    }
};

} // namespace

radiostats *handle_new()
{
    auto *h = static_cast<radiostats *>(std::calloc(1, sizeof(radiostats)));
    if (!h)
        return nullptr;
    list_init(&h->radios);
    list_init(&h->vaps);
    h->nl = static_cast<NlPart *>(std::calloc(1, sizeof(NlPart)));
    h->ctrl = static_cast<CtrlPart *>(std::calloc(1, sizeof(CtrlPart)));
    if (h->ctrl)
        h->ctrl->fd = -1; // zero would be standard input, closed by the clean-up
    if (!h->nl || !h->ctrl) {
        radiostats_free(h);
        return nullptr;
    }
    return h;
}

int ctrl_open(CtrlPart *ctrl)
{
    ctrl->fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    if (ctrl->fd < 0) {
        perror("socket");
        return -1;
    }
    ctrl->peer.sun_family = AF_UNIX;
    ctrl->local.sun_family = AF_UNIX;
    std::snprintf(ctrl->local.sun_path, sizeof(ctrl->local.sun_path), "/tmp/airtally_ctrl_%d",
                  static_cast<int>(getpid()));
    // The daemons address their replies to this file.
    if (bind(ctrl->fd, reinterpret_cast<const sockaddr *>(&ctrl->local), sizeof(sockaddr_un)) !=
        0) {
        perror("bind");
        // Not ours: an existing file must survive the clean-up.
        ctrl->local.sun_path[0] = '\0';
        return -1;
    }
    return 0;
}

int nl_open(NlPart *nl)
{
    nl->sock = nl_socket_alloc();
    if (!nl->sock) {
        std::fputs("Failed to alloc netlink socket\n", stderr);
        return -1;
    }
    if (genl_connect(nl->sock) != 0) {
        std::fputs("Failed to connect to generic netlink\n", stderr);
        return -1;
    }
    nl_socket_set_buffer_size(nl->sock, kNlBufferSize, kNlBufferSize);
    int id = genl_ctrl_resolve(nl->sock, "nl80211");
    if (id < 0) {
        std::fputs("nl80211 not found\n", stderr);
        return -1;
    }
    nl->family = id;
    return 0;
}

} // namespace airtally

using namespace airtally;

extern "C" {

radiostats *radiostats_init(void)
{
    HandleGuard guard{handle_new()};
    if (!guard.h)
        return nullptr;
    if (ctrl_open(guard.h->ctrl) != 0)
        return nullptr;
    if (nl_open(guard.h->nl) != 0) {
        std::fputs("Failed to initialize nl80211\n", stderr);
        return nullptr;
    }
    return guard.release();
}

void radio_stat_free_all(radiostats *h)
{
    list_free_all(&h->radios);
}

void vap_stat_free_all(radiostats *h)
{
    list_free_all(&h->vaps);
}

void radiostats_free(radiostats *h)
{
    if (!h)
        return;
    radio_stat_free_all(h);
    vap_stat_free_all(h);
    if (h->nl && h->nl->sock) {
        nl_socket_free(h->nl->sock);
        h->nl->sock = nullptr;
    }
    if (h->ctrl) {
        if (h->ctrl->fd >= 0) {
            close(h->ctrl->fd);
            h->ctrl->fd = -1;
        }
        if (h->ctrl->local.sun_path[0] != '\0') {
            unlink(h->ctrl->local.sun_path);
            h->ctrl->local.sun_path[0] = '\0';
        }
    }
    std::free(h->ctrl);
    std::free(h->nl);
    std::free(h);
}

} // extern "C"
