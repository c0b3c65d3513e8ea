#include "radio/netlink_request.h"

#include <netlink/netlink.h>
#include <sys/socket.h>
#include <sys/time.h>

NlOutcome nl_request_reply(nl_sock *sock, nl_msg *msg, nl_cb *cb, NlReplyHandler handler,
                           void *context, const NlReplyOptions &options)
{
    nl_cb_set(cb, NL_CB_VALID, NL_CB_CUSTOM, handler, context);
    int sent = nl_send_auto(sock, msg);
    if (sent < 0)
        return {NlStage::Send, sent, 0};
    if (options.after_send)
        options.after_send(sent, options.after_send_context);
    if (options.receive_timeout_s > 0) {
        timeval timeout{options.receive_timeout_s, 0};
        setsockopt(nl_socket_get_fd(sock), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    int err = nl_recvmsgs(sock, cb);
    if (err < 0)
        return {NlStage::Receive, err, sent};
    return {NlStage::Done, 0, sent};
}

NlOutcome nl_request_ack(nl_sock *sock, nl_msg *msg)
{
    int sent = nl_send_auto(sock, msg);
    if (sent < 0)
        return {NlStage::Send, sent, 0};
    int err = nl_wait_for_ack(sock);
    if (err < 0)
        return {NlStage::Receive, err, sent};
    return {NlStage::Done, 0, sent};
}
