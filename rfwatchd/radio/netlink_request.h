// The two kinds of netlink conversation the radio operations hold: send a
// request and read its reply through a handler, or send a request and wait
// for the kernel's acknowledgement. Operations build the message, run it
// here and interpret the outcome, writing their own messages.
#pragma once

struct nl_sock;
struct nl_msg;
struct nl_cb;

enum class NlStage { Done, Send, Receive };

struct NlOutcome {
    NlStage stage; // where the conversation stopped
    int error;     // libnl's (negative) code when it failed, else 0
    int sent;      // bytes nl_send_auto reported
};

using NlReplyHandler = int (*)(nl_msg *msg, void *context);

struct NlReplyOptions {
    int receive_timeout_s = 0; // 0: block until the reply
    // Called between send and receive, for the caller's progress line.
    void (*after_send)(int sent, void *context) = nullptr;
    void *after_send_context = nullptr;
};

// nl_send_auto, then one nl_recvmsgs with handler installed as the
// NL_CB_VALID custom callback of cb.
NlOutcome nl_request_reply(nl_sock *sock, nl_msg *msg, nl_cb *cb, NlReplyHandler handler,
                           void *context, const NlReplyOptions &options = {});

// nl_send_auto, then nl_wait_for_ack.
NlOutcome nl_request_ack(nl_sock *sock, nl_msg *msg);
