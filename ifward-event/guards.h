// SPDX-License-Identifier: MIT
// The tool's ownership guards: every descriptor and every C allocation is
// released when its scope ends, so no return path can forget one.
#pragma once

#include <memory>
#include <unistd.h>

// Closes a descriptor when it goes out of scope.
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

  private:
    int fd_;
};

// FreePtr<T, f> calls f on the pointer when it goes out of scope.
template <auto Free> struct FreeWith {
    template <typename T> void operator()(T *p) const { Free(p); }
};

template <typename T, auto Free> using FreePtr = std::unique_ptr<T, FreeWith<Free>>;
