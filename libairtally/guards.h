// SPDX-License-Identifier: MIT
// The library's ownership guards: whatever a function acquires for its own
// use is released on every return path.
#pragma once

#include <memory>
#include <unistd.h>

namespace airtally
{

// Closes a descriptor when it goes out of scope, unless released to a
// longer-lived owner.
class FdGuard
{
  public:
    explicit FdGuard(int fd) : fd_(fd) {}
    FdGuard(const FdGuard &) = delete;
    FdGuard &operator=(const FdGuard &) = delete;
    ~FdGuard()
    {
        if (fd_ >= 0)
            close(fd_);
    }

    int get() const { return fd_; }
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

// FreePtr<T, f> calls f on the pointer when it goes out of scope.
template <auto Free> struct FreeWith {
    template <typename T> void operator()(T *p) const { Free(p); }
};

template <typename T, auto Free> using FreePtr = std::unique_ptr<T, FreeWith<Free>>;

} // namespace airtally
