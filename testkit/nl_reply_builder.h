// SPDX-License-Identifier: MIT
// Builds nl80211 reply messages with libnl, as the kernel would send them
// in a dump, for feeding the library's handlers directly.
#pragma once

#include <cstdint>
#include <netlink/attr.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>
#include <string>
#include <vector>

class NlReply
{
  public:
    explicit NlReply(uint8_t cmd) : msg_(nlmsg_alloc())
    {
        genlmsg_put(msg_, 0, 1, 0x1c, 0, NLM_F_MULTI, cmd, 0);
    }
    ~NlReply() { nlmsg_free(msg_); }
    NlReply(const NlReply &) = delete;
    NlReply &operator=(const NlReply &) = delete;

    NlReply &u32(int type, uint32_t v) { return check(nla_put_u32(msg_, type, v)); }
    NlReply &u8(int type, uint8_t v) { return check(nla_put_u8(msg_, type, v)); }
    NlReply &str(int type, const std::string &s)
    {
        return check(nla_put_string(msg_, type, s.c_str()));
    }
    NlReply &bytes(int type, const std::vector<uint8_t> &b)
    {
        return check(nla_put(msg_, type, static_cast<int>(b.size()), b.data()));
    }
    NlReply &flag(int type) { return check(nla_put_flag(msg_, type)); }
    NlReply &open(int type)
    {
        nests_.push_back(nla_nest_start(msg_, type));
        return *this;
    }
    NlReply &close()
    {
        nla_nest_end(msg_, nests_.back());
        nests_.pop_back();
        return *this;
    }

    nl_msg *get() const { return msg_; }
    bool ok() const { return ok_; }

  private:
    NlReply &check(int rc)
    {
        ok_ = ok_ && rc == 0;
        return *this;
    }
    nl_msg *msg_;
    std::vector<nlattr *> nests_;
    bool ok_ = true;
};
