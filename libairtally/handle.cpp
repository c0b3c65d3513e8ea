// SPDX-License-Identifier: MIT
// Creation and release of the handle, and the two free-all calls.
#include "handle.h"

#include "guards.h"
#include "list.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/socket.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace airtally
{

namespace
{

// Large enough for the split wiphy dump's messages; the kernel doubles it.
constexpr int kNlBufferSize = 8192;

// The documented path, and the private directory used when it is taken.
constexpr char kLocalPathFormat[] = "/tmp/airtally_ctrl_%d";
constexpr char kPrivateDirFormat[] = "/tmp/airtally_ctrl_%d.XXXXXX";

// Searchable by all but listable and writable by us only: nobody else can
// put anything in it, and a daemon running as another user still reaches
// the socket inside, as it would at the documented path in /tmp.
constexpr mode_t kPrivateDirMode = 0711;

int bind_local(int fd, const sockaddr_un &local)
{
    return bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof(sockaddr_un));
}

enum class Holder { OursStale, OursInUse, Foreign };

// Who holds the path of `local`, which bind found taken. Only a socket file owned by us
// may be replaced, and only when connecting to it is refused: then no
// process has it bound any more.
Holder holder_of(const sockaddr_un &local)
{
    struct stat st {
    };
    if (lstat(local.sun_path, &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != geteuid())
        return Holder::Foreign;
    FdGuard probe(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (probe.get() < 0)
        return Holder::Foreign;
    if (connect(probe.get(), reinterpret_cast<const sockaddr *>(&local), sizeof(sockaddr_un)) == 0)
        return Holder::OursInUse;
    return errno == ECONNREFUSED ? Holder::OursStale : Holder::Foreign;
}

// Binds in a new directory beside the documented path, whose name nobody
// can guess beforehand (mkdtemp). On success the part owns both.
bool bind_private(CtrlPart *ctrl, FdGuard &fd)
{
    char taken[sizeof(ctrl->local.sun_path)];
    std::memcpy(taken, ctrl->local.sun_path, sizeof(taken));
    ctrl->local.sun_path[0] = '\0';
    char dir[sizeof(ctrl->dir)];
    std::snprintf(dir, sizeof(dir), kPrivateDirFormat, static_cast<int>(getpid()));
    if (!mkdtemp(dir)) {
        perror("mkdtemp");
        return false;
    }
    sockaddr_un local = ctrl->local;
    // Always fits: the directory's name is short.
    if (std::snprintf(local.sun_path, sizeof(local.sun_path), "%s/ctrl", dir) < 0) {
        rmdir(dir);
        return false;
    }
    if (chmod(dir, kPrivateDirMode) != 0) {
        perror("chmod");
        rmdir(dir);
        return false;
    }
    if (bind_local(fd.get(), local) != 0) {
        perror("bind");
        rmdir(dir);
        return false;
    }
    std::memcpy(ctrl->dir, dir, sizeof(dir));
    ctrl->local = local;
    ctrl->fd = fd.release();
    std::fprintf(stderr, "%s is not ours; using %s\n", taken, local.sun_path);
    return true;
}

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
        handle_free(h);
        return nullptr;
    }
    return h;
}

void handle_free(radiostats *h)
{
    if (!h)
        return;
    list_free_all(&h->radios);
    list_free_all(&h->vaps);
    if (h->nl)
        nl_close(h->nl);
    if (h->ctrl)
        ctrl_close(h->ctrl);
    std::free(h->ctrl);
    std::free(h->nl);
    std::free(h);
}

int ctrl_open(CtrlPart *ctrl)
{
    FdGuard fd(socket(AF_UNIX, SOCK_DGRAM, 0));
    if (fd.get() < 0) {
        perror("socket");
        return -1;
    }
    ctrl->peer.sun_family = AF_UNIX;
    ctrl->local.sun_family = AF_UNIX;
    std::snprintf(ctrl->local.sun_path, sizeof(ctrl->local.sun_path), kLocalPathFormat,
                  static_cast<int>(getpid()));
    // The daemons address their replies to this file.
    int rc = bind_local(fd.get(), ctrl->local);
    if (rc != 0 && errno == EADDRINUSE) {
        switch (holder_of(ctrl->local)) {
        case Holder::OursStale:
            unlink(ctrl->local.sun_path);
            rc = bind_local(fd.get(), ctrl->local);
            break;
        case Holder::OursInUse:
            errno = EADDRINUSE;
            break;
        case Holder::Foreign:
            return bind_private(ctrl, fd) ? 0 : -1;
        }
    }
    if (rc != 0) {
        perror("bind");
        // Not ours: an existing file must survive the clean-up.
        ctrl->local.sun_path[0] = '\0';
        return -1;
    }
    ctrl->fd = fd.release();
    return 0;
}

void ctrl_close(CtrlPart *ctrl)
{
    if (ctrl->fd >= 0) {
        close(ctrl->fd);
        ctrl->fd = -1;
    }
    if (ctrl->local.sun_path[0] != '\0') {
        unlink(ctrl->local.sun_path);
        ctrl->local.sun_path[0] = '\0';
    }
    if (ctrl->dir[0] != '\0') {
        rmdir(ctrl->dir);
        ctrl->dir[0] = '\0';
    }
}

int nl_open(NlPart *nl)
{
    FreePtr<nl_sock, nl_socket_free> sock(nl_socket_alloc());
    if (!sock) {
        std::fputs("Failed to alloc netlink socket\n", stderr);
        return -1;
    }
    if (genl_connect(sock.get()) != 0) {
        std::fputs("Failed to connect to generic netlink\n", stderr);
        return -1;
    }
    nl_socket_set_buffer_size(sock.get(), kNlBufferSize, kNlBufferSize);
    int id = genl_ctrl_resolve(sock.get(), "nl80211");
    if (id < 0) {
        std::fputs("nl80211 not found\n", stderr);
        return -1;
    }
    nl->sock = sock.release();
    nl->family = id;
    return 0;
}

void nl_close(NlPart *nl)
{
    if (nl->sock) {
        nl_socket_free(nl->sock);
        nl->sock = nullptr;
    }
}

} // namespace airtally

using namespace airtally;

extern "C" {

radiostats *radiostats_init(void)
{
    FreePtr<radiostats, handle_free> h(handle_new());
    if (!h)
        return nullptr;
    if (ctrl_open(h->ctrl) != 0)
        return nullptr;
    if (nl_open(h->nl) != 0) {
        std::fputs("Failed to initialize nl80211\n", stderr);
        return nullptr;
    }
    return h.release();
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
    handle_free(h);
}

} // extern "C"
