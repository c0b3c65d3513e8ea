// SPDX-License-Identifier: MIT
// Captures what this process writes to one of its descriptors (standard
// output or error), for checking the exact lines a library prints.
#pragma once

#include <string>

namespace wdtest
{

class FdCapture
{
  public:
    // Starts capturing `fd` (1 or 2); stdio buffers are flushed first.
    explicit FdCapture(int fd);
    FdCapture(const FdCapture &) = delete;
    FdCapture &operator=(const FdCapture &) = delete;
    ~FdCapture();

    // Stops (if still capturing) and returns everything written meanwhile.
    std::string text();

  private:
    void finish();
    int fd_;
    int saved_ = -1;
    int file_ = -1;
    std::string text_;
};

} // namespace wdtest
