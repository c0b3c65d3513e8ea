// SPDX-License-Identifier: MIT
// The three kinds of netlink conversation the radio operations hold: an
// nl80211 request whose reply is read through a handler, the same over
// rtnetlink, and a request that only waits for the kernel's acknowledgement.
// A runner owns the socket, the message, the callback set, the send and the
// receive, and writes the request's fixed lines (request_texts.h) for every
// step that fails before the answer; the operation builds the message and
// interprets the answer.
#pragma once

#include "base/function_ref.h"
#include "radio/radio_error.h"
#include "radio/request_texts.h"

struct nl_msg;

// The hooks refer to the operation's own lambdas, which outlive the run.
struct NlRequest {
    RadioRequest kind; // its row of request_texts
    const char *name;  // interface named in the texts
    // Fills the allocated message; family is nl80211's id, 0 on rtnetlink.
    // False when the message is full.
    FunctionRef<bool(nl_msg *msg, int family)> build;
    // Called once everything is allocated and built, just before the send:
    // for the operation's progress line and the reset of its reply context.
    FunctionRef<void()> ready;
};

enum class NlStage { Setup, Send, Receive, Done };

struct NlRun {
    RadioError result; // NetlinkInitFailed in Setup, the row's failed after it
    NlStage stage;     // where the conversation stopped
    int error;         // libnl's (negative) code on Send and Receive, else 0
};

using NlReplyHandler = int (*)(nl_msg *msg, void *context);

struct NlReplyOptions {
    int receive_timeout_s = 0; // 0: block until the reply
    // Called between send and receive, for the caller's progress line.
    void (*after_send)(int sent) = nullptr;
};

// Sends the request on a fresh nl80211 socket and reads the reply with
// handler as the NL_CB_VALID custom callback.
NlRun run_nl80211_reply(const NlRequest &request, NlReplyHandler handler, void *context,
                        const NlReplyOptions &options = {});

// The same on a fresh NETLINK_ROUTE socket.
NlRun run_route_reply(const NlRequest &request, NlReplyHandler handler, void *context);

enum class NlSocketKind { Nl80211, Route };

// Sends the request on a fresh socket of the kind and waits for the ack.
NlRun run_ack_request(NlSocketKind kind, const NlRequest &request);
