#include "line_reader.h"

#include <cerrno>
#include <unistd.h>

namespace
{

void split(LineReader &r, std::string_view data, const std::function<void(std::string_view)> &each)
{
    while (!data.empty()) {
        const size_t nl = data.find('\n');
        const std::string_view part = data.substr(0, nl);
        if (!r.skipping && r.pending.size() + part.size() > MAX_LINE_BYTES) {
            r.skipping = true;
            r.overlong++;
            r.pending.clear();
        }
        if (!r.skipping)
            r.pending.append(part);
        if (nl == std::string_view::npos)
            return;
        if (!r.skipping)
            each(r.pending);
        r.pending.clear();
        r.skipping = false;
        data.remove_prefix(nl + 1);
    }
}

} // namespace

bool read_lines(int fd, LineReader &r, const std::function<void(std::string_view)> &each)
{
    char buf[65536];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0)
        return n < 0 && (errno == EINTR || errno == EAGAIN);
    split(r, std::string_view(buf, static_cast<size_t>(n)), each);
    return true;
}
