// SPDX-License-Identifier: MIT
#include "fd_capture.h"

#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

namespace wdtest
{

FdCapture::FdCapture(int fd) : fd_(fd)
{
    std::fflush(stdout);
    std::fflush(stderr);
    file_ = memfd_create("fd_capture", MFD_CLOEXEC);
    saved_ = dup(fd_);
    if (file_ >= 0 && saved_ >= 0)
        dup2(file_, fd_);
}

FdCapture::~FdCapture()
{
    finish();
}

void FdCapture::finish()
{
    if (saved_ < 0)
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_, fd_);
    close(saved_);
    saved_ = -1;
    if (file_ >= 0) {
        char buf[4096];
        ssize_t n;
        off_t off = 0;
        while ((n = pread(file_, buf, sizeof(buf), off)) > 0) {
            text_.append(buf, static_cast<size_t>(n));
            off += n;
        }
        close(file_);
        file_ = -1;
    }
}

std::string FdCapture::text()
{
    finish();
    return text_;
}

} // namespace wdtest
