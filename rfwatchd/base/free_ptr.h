// SPDX-License-Identifier: MIT
// Ownership of a C library's object: FreePtr<T, f> calls f on the pointer
// when it goes out of scope, so every early return releases it.
#pragma once

#include <memory>

template <auto Free> struct FreeWith {
    template <typename T> void operator()(T *p) const { Free(p); }
};

template <typename T, auto Free> using FreePtr = std::unique_ptr<T, FreeWith<Free>>;
