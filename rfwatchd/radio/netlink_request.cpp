// SPDX-License-Identifier: MIT
#include "radio/netlink_request.h"

#include "base/log.h"
#include "radio/netlink_socket.h"

#include <cerrno>
#include <netlink/errno.h>
#include <netlink/netlink.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace
{

// Everything a conversation holds once its request is ready to go.
struct Prepared {
    NlSocket sock;
    NlMessage msg;
};

NlRun setup_failed()
{
    return {RadioError::NetlinkInitFailed, NlStage::Setup, 0};
}

// Socket, message and build, in that order, each failure with its line.
bool prepare(NlSocketKind kind, const NlRequest &request, Prepared &out)
{
    int family = 0;
    RadioError err = kind == NlSocketKind::Nl80211 ? open_nl80211_socket(out.sock, family)
                                                   : open_route_socket(out.sock);
    if (err != RadioError::Success)
        return false;
    out.msg = make_message();
    if (!out.msg) {
        log_text("%s", texts_of(request.kind).no_message);
        return false;
    }
    if (!request.build(out.msg.get(), family)) {
        log_text(texts_of(request.kind).not_built, request.name);
        return false;
    }
    return true;
}

NlRun send_failed(const NlRequest &request, int error)
{
    log_text(texts_of(request.kind).not_sent, request.name, nl_geterror(error));
    return {texts_of(request.kind).failed, NlStage::Send, error};
}

NlRun run_reply(NlSocketKind kind, const NlRequest &request, NlReplyHandler handler, void *context,
                const NlReplyOptions &options)
{
    Prepared p;
    if (!prepare(kind, request, p))
        return setup_failed();
    NlCallbacks cb = make_callbacks();
    if (!cb) {
        if (texts_of(request.kind).no_callbacks)
            log_text("%s", texts_of(request.kind).no_callbacks);
        return setup_failed();
    }
    if (request.ready)
        request.ready();
    nl_cb_set(cb.get(), NL_CB_VALID, NL_CB_CUSTOM, handler, context);
    int sent = nl_send_auto(p.sock.get(), p.msg.get());
    if (sent < 0)
        return send_failed(request, sent);
    if (options.after_send)
        options.after_send(sent);
    if (options.receive_timeout_s > 0) {
        // Without its time-out the receive could wait for ever: that is a
        // failed receive, not one to go on with.
        timeval timeout{options.receive_timeout_s, 0};
        if (setsockopt(nl_socket_get_fd(p.sock.get()), SOL_SOCKET, SO_RCVTIMEO, &timeout,
                       sizeof timeout) != 0)
            return {texts_of(request.kind).failed, NlStage::Receive, -nl_syserr2nlerr(errno)};
    }
    int err = nl_recvmsgs(p.sock.get(), cb.get());
    if (err < 0)
        return {texts_of(request.kind).failed, NlStage::Receive, err};
    return {RadioError::Success, NlStage::Done, 0};
}

} // namespace

NlRun run_nl80211_reply(const NlRequest &request, NlReplyHandler handler, void *context,
                        const NlReplyOptions &options)
{
    return run_reply(NlSocketKind::Nl80211, request, handler, context, options);
}

NlRun run_route_reply(const NlRequest &request, NlReplyHandler handler, void *context)
{
    return run_reply(NlSocketKind::Route, request, handler, context, {});
}

NlRun run_ack_request(NlSocketKind kind, const NlRequest &request)
{
    Prepared p;
    if (!prepare(kind, request, p))
        return setup_failed();
    if (request.ready)
        request.ready();
    int sent = nl_send_auto(p.sock.get(), p.msg.get());
    if (sent < 0)
        return send_failed(request, sent);
    int err = nl_wait_for_ack(p.sock.get());
    if (err < 0)
        return {texts_of(request.kind).failed, NlStage::Receive, err};
    return {RadioError::Success, NlStage::Done, 0};
}
