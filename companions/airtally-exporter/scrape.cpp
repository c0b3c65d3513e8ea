// SPDX-License-Identifier: MIT
#include "scrape.h"

#include "airtally.h"

#include <chrono>
#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

namespace airtally_exporter
{

namespace
{

void log_printed(ErrorSource source, const std::string &printed)
{
    // One prefix per line, so the log says where each line came from.
    size_t at = 0;
    while (at < printed.size()) {
        size_t end = printed.find('\n', at);
        if (end == std::string::npos)
            end = printed.size();
        fprintf(stderr, "airtally-exporter: %s: %.*s\n", error_source_name(source),
                static_cast<int>(end - at), printed.data() + at);
        at = end + 1;
    }
}

void count_error(Scraper &s, ErrorSource source)
{
    s.counters.errors[static_cast<size_t>(source)]++;
}

void count_if_printed(Scraper &s, ErrorSource source, const std::string &printed)
{
    if (printed.empty())
        return;
    count_error(s, source);
    log_printed(source, printed);
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// An empty list, for a scrape without a handle.
template <typename R> struct EmptyList {
    R head{};
    EmptyList()
    {
        head.next = &head;
        head.prev = &head;
    }
};

} // namespace

Capture capture_begin()
{
    Capture c;
    fflush(stdout);
    fflush(stderr);
    c.file = memfd_create("airtally-exporter-diagnostics", MFD_CLOEXEC);
    if (c.file < 0)
        return c;
    c.saved_out = dup(STDOUT_FILENO);
    c.saved_err = dup(STDERR_FILENO);
    if (c.saved_out < 0 || c.saved_err < 0 || dup2(c.file, STDOUT_FILENO) < 0 ||
        dup2(c.file, STDERR_FILENO) < 0) {
        capture_end(c);
        return Capture{};
    }
    return c;
}

std::string capture_end(Capture &c)
{
    fflush(stdout);
    fflush(stderr);
    if (c.saved_out >= 0) {
        dup2(c.saved_out, STDOUT_FILENO);
        close(c.saved_out);
    }
    if (c.saved_err >= 0) {
        dup2(c.saved_err, STDERR_FILENO);
        close(c.saved_err);
    }
    std::string text;
    if (c.file >= 0) {
        char buf[4096];
        ssize_t n;
        off_t at = 0;
        while ((n = pread(c.file, buf, sizeof(buf), at)) > 0) {
            text.append(buf, static_cast<size_t>(n));
            at += n;
        }
        close(c.file);
    }
    c = Capture{};
    return text;
}

std::string scrape(Scraper &s)
{
    const auto start = std::chrono::steady_clock::now();
    s.counters.scrapes++;
    if (s.handle == nullptr) {
        // Tried on every scrape: nl80211 may come later (a driver loaded).
        std::string said = run_captured([&] { s.handle = radiostats_init(); });
        if (said != s.init_said)
            log_printed(ErrorSource::Init, said);
        s.init_said = s.handle == nullptr ? said : "";
        if (s.handle == nullptr) {
            count_error(s, ErrorSource::Init);
            EmptyList<radio_stat> radios;
            EmptyList<vap_stat> vaps;
            s.counters.scrape_seconds = seconds_since(start);
            return render_metrics(&radios.head, &vaps.head, s.counters);
        }
    }
    // Emptied first: each scrape starts from nothing, so no record of an
    // earlier scrape can be read again.
    radio_stat *radios = nullptr;
    vap_stat *vaps = nullptr;
    count_if_printed(s, ErrorSource::Nl80211, run_captured([&] {
                         radio_stat_free_all(s.handle);
                         vap_stat_free_all(s.handle);
                         radios = radio_stat_get_all(s.handle);
                         vaps = vap_stat_get_all_nl(s.handle);
                     }));
    for (vap_stat *v = vaps->next; v != vaps; v = v->next)
        count_if_printed(s, ErrorSource::ControlSocket,
                         run_captured([&] { vap_stat_get_sock(s.handle, v); }));
    s.counters.scrape_seconds = seconds_since(start);
    return render_metrics(radios, vaps, s.counters);
}

void scraper_free(Scraper &s)
{
    radiostats_free(s.handle);
    s.handle = nullptr;
}

} // namespace airtally_exporter
