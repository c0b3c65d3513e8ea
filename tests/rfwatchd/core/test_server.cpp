// SPDX-License-Identifier: MIT
#include "test_server.h"

#include "core/samples.h"
#include "core/sweep_timer.h"
#include "namespaces.h"
#include "test_clock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace coretest
{

uint64_t now_ms()
{
    return wdtest::test_clock_now();
}

TestServer::TestServer(int32_t bins)
{
    wdtest::test_clock_reset();
    std::string why;
    if (!wdtest::enter_private_network(&why)) {
        skip_reason_ = "no private network namespace here: " + why;
        return;
    }
    if (tmp_.path().empty())
        return;
    dir_ = tmp_.path();
    for (const char *f : {"spectral_scan_ctl", "spectral_bins", "spectral_scan0"})
        if (!wdtest::write_file(file(f), "", &why))
            return;
    wdtest::write_file(file("chan_bw"), "5", &why);
    wdtest::write_file(file("freq_shift"), "-3", &why);
    socket_path_ = dir_ + "/rfwatchd.sock";

    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    socket_path_.copy(addr.sun_path, sizeof addr.sun_path - 1);
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(fd, 5) != 0) {
        close(fd);
        return;
    }
    ServerOptions opts{};
    opts.bin_count = bins;
    opts.listen_fd = fd;
    opts.monitor = "mon0";
    static DiscoveredInterface found;
    memset(&found, 0, sizeof found);
    snprintf(found.spectral_dir, sizeof found.spectral_dir, "%s", dir_.c_str());
    snprintf(found.monitor.name, sizeof found.monitor.name, "mon0");
    found.monitor.ifindex = static_cast<int32_t>(if_nametoindex("lo"));
    found.driver = &scan_drivers[0];
    server_ = static_cast<Server *>(calloc(1, sizeof(Server)));
    ok_ = server_ && server_init(*server_, opts, found) == 0;
}

TestServer::~TestServer()
{
    teardown();
    free(server_);
}

void TestServer::teardown()
{
    if (server_ && !torn_down_)
        server_teardown(*server_);
    torn_down_ = true;
}

void TestServer::set_samples(const std::vector<uint8_t> &bytes)
{
    std::string why;
    wdtest::write_file(file("spectral_scan0"),
                       std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()),
                       &why);
}

std::string TestServer::read(const char *name) const
{
    std::string s;
    wdtest::read_file(file(name), s);
    return s;
}

void TestServer::write(const char *name, const std::string &text)
{
    std::string why;
    wdtest::write_file(file(name), text, &why);
}

int TestServer::connect_client()
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    socket_path_.copy(addr.sun_path, sizeof addr.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool TestServer::pass()
{
    wdtest::test_clock_advance(PASS_MS);
    poll_clients(*server_, 0);
    sweep_timer_step(*server_);
    if (handle_samples(*server_) != 0)
        return false;
    flush_clients(*server_);
    return true;
}

void send_text(int fd, const std::string &s)
{
    ASSERT_EQ(write(fd, s.data(), s.size()), static_cast<ssize_t>(s.size()));
}

std::string drain(int fd, bool *eof)
{
    std::string all;
    char buf[65536];
    if (eof)
        *eof = false;
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            all.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n == 0 && eof)
            *eof = true;
        return all;
    }
}

std::vector<std::string> take_lines(std::string &buf)
{
    std::vector<std::string> lines;
    size_t start = 0, nl;
    while ((nl = buf.find('\n', start)) != std::string::npos) {
        lines.push_back(buf.substr(start, nl - start));
        start = nl + 1;
    }
    buf.erase(0, start);
    return lines;
}

std::vector<uint8_t> reports_at(const std::vector<uint16_t> &freqs, uint8_t bandwidth, size_t bins,
                                uint8_t type)
{
    std::vector<uint8_t> out;
    for (uint16_t f : freqs) {
        wdtest::Ath11kReport r;
        r.type = type;
        r.freq_mhz = f;
        r.bandwidth_mhz = bandwidth;
        r.bins.assign(bins, 0);
        for (size_t i = 0; i < bins; i++)
            r.bins[i] = static_cast<uint8_t>(10 + i % 50);
        wdtest::append_report(out, r);
    }
    return out;
}

} // namespace coretest
