// SPDX-License-Identifier: MIT
// A non-owning reference to a callable, for hooks that a caller hands to a
// runner for the length of one call. Unlike std::function it never
// allocates and needs nothing of the C++ runtime library, which the daemon
// does not link. The callable must outlive the reference: bind named
// objects (a lambda in a local variable), never temporaries.
#pragma once

#include <type_traits>

template <typename Signature> class FunctionRef;

template <typename R, typename... Args> class FunctionRef<R(Args...)>
{
  public:
    FunctionRef() = default;
    FunctionRef(std::nullptr_t) {}
    // Converts implicitly, as a plain function pointer would. F & binds
    // named objects only: a temporary would be gone before the call.
    template <typename F, std::enable_if_t<!std::is_same_v<std::remove_cv_t<F>, FunctionRef> &&
                                               std::is_invocable_r_v<R, F &, Args...>,
                                           int> = 0>
    FunctionRef(F &f)
        : object_(const_cast<void *>(static_cast<const void *>(&f))),
          call_([](void *object, Args... args) -> R {
              return (*static_cast<F *>(object))(static_cast<Args>(args)...);
          })
    {
    }

    explicit operator bool() const { return call_ != nullptr; }
    R operator()(Args... args) const { return call_(object_, static_cast<Args>(args)...); }

  private:
    void *object_ = nullptr;
    R (*call_)(void *, Args...) = nullptr;
};
