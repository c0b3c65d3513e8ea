// SPDX-License-Identifier: MIT
// Closes a descriptor when it goes out of scope.
#pragma once

#include <unistd.h>

class FdGuard
{
  public:
    explicit FdGuard(int fd) : fd_(fd) {}
    FdGuard(const FdGuard &) = delete;
    FdGuard &operator=(const FdGuard &) = delete;
    ~FdGuard() { reset(); }

    int get() const { return fd_; }
    // Hands the descriptor on to the caller, who then owns it.
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now; the result of close() is of no interest for reads.
    void reset()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};
