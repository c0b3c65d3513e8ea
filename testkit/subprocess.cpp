// SPDX-License-Identifier: MIT
#include "subprocess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace wdtest
{

namespace
{

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void close_fd(int &fd)
{
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

std::vector<std::string> build_env(const std::vector<std::string> &extra)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const auto &x : extra) {
        bool remove = !x.empty() && x[0] == '-';
        std::string name = remove ? x.substr(1) : x.substr(0, x.find('='));
        std::erase_if(env, [&](const std::string &v) {
            return v.compare(0, name.size(), name) == 0 && v.size() > name.size() &&
                   v[name.size()] == '=';
        });
        if (!remove)
            env.push_back(x);
    }
    return env;
}

} // namespace

Child::~Child()
{
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close_fd(in_);
    close_fd(out_fd_);
    close_fd(err_fd_);
}

bool Child::start(const std::vector<std::string> &argv, const std::vector<std::string> &env_extra,
                  std::string *why)
{
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
        if (why)
            *why = std::string("pipe: ") + strerror(errno);
        return false;
    }
    std::vector<std::string> env = build_env(env_extra);
    std::vector<char *> cargv, cenv;
    for (const auto &a : argv)
        cargv.push_back(const_cast<char *>(a.c_str()));
    cargv.push_back(nullptr);
    for (const auto &e : env)
        cenv.push_back(const_cast<char *>(e.c_str()));
    cenv.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0) {
        if (why)
            *why = std::string("fork: ") + strerror(errno);
        return false;
    }
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        signal(SIGPIPE, SIG_DFL);
        execve(cargv[0], cargv.data(), cenv.data());
        dprintf(2, "exec %s: %s\n", cargv[0], strerror(errno));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    in_ = in[1];
    out_fd_ = out[0];
    err_fd_ = err[0];
    // Writing to a child that already ended must fail, not kill the test.
    signal(SIGPIPE, SIG_IGN);
    return true;
}

bool Child::write_stdin(std::string_view text)
{
    while (!text.empty()) {
        ssize_t n = write(in_, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void Child::close_stdin()
{
    close_fd(in_);
}

bool Child::pump(int timeout_ms)
{
    pollfd p[2];
    int n = 0;
    if (out_fd_ >= 0)
        p[n++] = {out_fd_, POLLIN, 0};
    if (err_fd_ >= 0)
        p[n++] = {err_fd_, POLLIN, 0};
    if (n == 0)
        return false;
    if (poll(p, static_cast<nfds_t>(n), timeout_ms) <= 0)
        return true;
    for (int i = 0; i < n; ++i) {
        if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buf[65536];
        ssize_t r = read(p[i].fd, buf, sizeof buf);
        bool is_out = p[i].fd == out_fd_;
        if (r > 0) {
            (is_out ? out_ : err_).append(buf, static_cast<size_t>(r));
        } else if (r == 0 || errno != EINTR) {
            close_fd(is_out ? out_fd_ : err_fd_);
        }
    }
    return true;
}

bool Child::read_until(const std::function<bool(const std::string &)> &done, int timeout_ms)
{
    long long end = now_ms() + timeout_ms;
    while (!done(out_)) {
        long long left = end - now_ms();
        if (left <= 0)
            return false;
        if (!pump(static_cast<int>(left)))
            return done(out_);
    }
    return true;
}

bool Child::read_until_contains(std::string_view needle, int timeout_ms)
{
    return read_until([&](const std::string &s) { return s.find(needle) != std::string::npos; },
                      timeout_ms);
}

int read_loopback_port(Child &child, int timeout_ms)
{
    if (!child.read_until_contains("\n", timeout_ms))
        return 0;
    const std::string_view first(child.out().data(), child.out().find('\n'));
    constexpr std::string_view loopback = "127.0.0.1:";
    const size_t at = first.find(loopback);
    return at == std::string_view::npos ? 0 : atoi(first.data() + at + loopback.size());
}

void Child::send_signal(int sig)
{
    if (pid_ > 0 && !reaped_)
        kill(pid_, sig);
}

Outcome Child::finish(int timeout_ms)
{
    Outcome o;
    close_stdin();
    long long end = now_ms() + timeout_ms;
    while (!reaped_) {
        pid_t r = waitpid(pid_, &wait_status_, WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            break;
        }
        long long left = end - now_ms();
        if (left <= 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &wait_status_, 0);
            reaped_ = true;
            o.timed_out = true;
            break;
        }
        if (!pump(static_cast<int>(left < 20 ? left : 20)))
            usleep(5000);
    }
    // The streams may still hold what the child wrote just before it ended.
    while (pump(0) && (out_fd_ >= 0 || err_fd_ >= 0)) {
        pollfd p[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
        if (poll(p, 2, 0) <= 0)
            break;
    }
    if (WIFEXITED(wait_status_)) {
        o.exited = true;
        o.status = WEXITSTATUS(wait_status_);
    } else if (WIFSIGNALED(wait_status_)) {
        o.signal = WTERMSIG(wait_status_);
    }
    o.out = out_;
    o.err = err_;
    return o;
}

Outcome run(const std::vector<std::string> &argv, std::string_view input, int timeout_ms,
            const std::vector<std::string> &env_extra)
{
    Child c;
    std::string why;
    if (!c.start(argv, env_extra, &why)) {
        Outcome o;
        o.err = why;
        return o;
    }
    if (!input.empty())
        c.write_stdin(input);
    return c.finish(timeout_ms);
}

long peak_rss_kib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("VmHWM:"))
            return std::stol(line.substr(6));
    return 0;
}

} // namespace wdtest
