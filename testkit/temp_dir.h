// SPDX-License-Identifier: MIT
// A private folder under /tmp for one test, removed with everything in it
// when the guard goes, so a failed assertion leaves nothing behind.
#pragma once

#include <string>
#include <string_view>

namespace wdtest
{

class TempDir
{
  public:
    // /tmp/PREFIX.XXXXXX, made with mode 0700.
    explicit TempDir(std::string_view prefix);
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    ~TempDir();

    // Empty when the folder could not be made.
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

} // namespace wdtest
