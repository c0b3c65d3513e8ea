// SPDX-License-Identifier: MIT
// diagtail's ownership guards: a descriptor is closed and a C object
// released when its guard goes out of scope, so every early return
// releases what was acquired.
#pragma once

#include <memory>
#include <unistd.h>

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

template <auto Free> struct FreeWith {
    template <typename T> void operator()(T *p) const { Free(p); }
};

// FreePtr<T, f> calls f on the pointer when it goes out of scope.
template <typename T, auto Free> using FreePtr = std::unique_ptr<T, FreeWith<Free>>;
