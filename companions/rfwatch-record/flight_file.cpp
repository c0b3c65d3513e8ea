// SPDX-License-Identifier: MIT
#include "flight_file.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace
{

// Beyond this many events of one second and cause something is wrong (a
// trigger in a loop); better to stop than to fill the folder.
constexpr unsigned MAX_SAME_NAME = 1000;

} // namespace

void flight_file_name(std::string_view dir, uint64_t time_us, std::string_view cause, unsigned n,
                      std::string &out)
{
    const time_t seconds = static_cast<time_t>(time_us / 1000000);
    tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    out.assign(dir);
    if (!out.empty() && out.back() != '/')
        out += '/';
    out += stamp;
    out += '-';
    out += cause;
    if (n > 1)
        out += "-" + std::to_string(n);
    out += ".rfwrec";
}

bool flight_file_create(RecordingWriter &w, std::string_view dir, uint64_t time_us,
                        std::string_view cause, const RecordingHeader &header, std::string &path)
{
    for (unsigned n = 1; n <= MAX_SAME_NAME; n++) {
        flight_file_name(dir, time_us, cause, n, path);
        // O_EXCL claims the name, so an older event's file is never appended
        // to, even by a second recorder writing into the same folder.
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return false;
        close(fd);
        if (recording_writer_open(w, path.c_str(), header) == WriterOpen::Created)
            return true;
        const int saved = errno;
        unlink(path.c_str());
        errno = saved;
        return false;
    }
    errno = EEXIST;
    return false;
}
