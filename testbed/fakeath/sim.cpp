// SPDX-License-Identifier: MIT
#include "sim.h"

#include "report_gen.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace fakeath
{

namespace
{

// Drivers accept "echo word >file" too, so a trailing line end is dropped.
std::string trim(const std::string &text)
{
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    size_t begin = 0;
    while (begin < end && text[begin] == ' ')
        ++begin;
    return text.substr(begin, end - begin);
}

bool parse_long(const std::string &text, long &out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    long v = strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    out = v;
    return true;
}

void log_line(Sim &s, const char *file, const std::string &text, const char *suffix)
{
    std::string line = std::string(file) + " " + text;
    if (suffix)
        line += suffix;
    s.log.push_back(std::move(line));
}

bool refused_at_close(const Sim &s, const std::string &word)
{
    for (size_t i = 0; i < s.cfg.faults.refuse_count; ++i) {
        const char *r = s.cfg.faults.refuse_at_close[i];
        // "agile" refuses every agile word, whatever its frequency.
        if (word == r ||
            (word.rfind(r, 0) == 0 && word.size() > strlen(r) && word[strlen(r)] == ' '))
            return true;
    }
    return false;
}

// 0 when the word is one the driver knows; its frequency for "agile".
int check_word(const std::string &word, int &agile)
{
    agile = 0;
    if (word == "background" || word == "trigger" || word == "disable")
        return 0;
    if (word.rfind("agile ", 0) == 0) {
        long mhz = 0;
        if (!parse_long(word.substr(6), mhz) || mhz < 1 || mhz > 7200)
            return -EINVAL;
        agile = static_cast<int>(mhz);
        return 0;
    }
    return -EINVAL;
}

void apply_word(Sim &s, const std::string &word, int agile)
{
    if (word == "background") {
        s.state = CtlState::Background;
        s.armed = true;
        s.agile_mhz = 0;
    } else if (word == "trigger") {
        s.state = CtlState::Triggered;
    } else if (word == "disable") {
        s.state = CtlState::Disabled;
        s.armed = false;
        s.agile_mhz = 0;
    } else {
        s.state = CtlState::Background;
        s.armed = true;
        s.agile_mhz = agile;
    }
}

void drop_front(Sim &s, size_t n)
{
    s.queue.erase(s.queue.begin(), s.queue.begin() + static_cast<long>(n));
    auto &starts = s.report_starts;
    auto keep = std::lower_bound(starts.begin(), starts.end(), n);
    starts.erase(starts.begin(), keep);
    for (size_t &o : starts)
        o -= n;
}

} // namespace

int sim_write_ctl(Sim &s, const std::string &text)
{
    std::string word = trim(text);
    int agile = 0;
    if (check_word(word, agile) != 0) {
        log_line(s, "spectral_scan_ctl", word, " refused");
        return -EINVAL;
    }
    return 0;
}

int sim_close_ctl(Sim &s, const std::string &text)
{
    std::string word = trim(text);
    int agile = 0;
    if (check_word(word, agile) != 0)
        return 0; // already refused at write
    if (refused_at_close(s, word)) {
        log_line(s, "spectral_scan_ctl", word, " refused-at-close");
        return -EIO;
    }
    log_line(s, "spectral_scan_ctl", word, nullptr);
    apply_word(s, word, agile);
    if (s.state == CtlState::Triggered && s.cfg.faults.burst && !s.burst_done) {
        s.burst_done = true;
        for (unsigned i = 0; i < s.cfg.faults.burst; ++i)
            sim_queue_report(s);
    }
    return 0;
}

int sim_write_number(Sim &s, const char *file, const std::string &text)
{
    std::string t = trim(text);
    long v = 0;
    bool ok = parse_long(t, v);
    if (ok && strcmp(file, "spectral_bins") == 0)
        ok = v >= 1 && v <= 1024;
    if (!ok) {
        log_line(s, file, t, " refused");
        return -EINVAL;
    }
    log_line(s, file, t, nullptr);
    if (strcmp(file, "spectral_bins") == 0)
        s.spectral_bins = v;
    else if (strcmp(file, "chan_bw") == 0)
        s.chan_bw = v;
    else
        s.freq_shift = v;
    return 0;
}

std::string sim_read_number(const Sim &s, const char *file)
{
    long v = strcmp(file, "spectral_bins") == 0 ? s.spectral_bins
             : strcmp(file, "chan_bw") == 0     ? s.chan_bw
                                                : s.freq_shift;
    return std::to_string(v) + "\n";
}

size_t sim_bin_count(const Sim &s)
{
    long half = s.spectral_bins / 2;
    return static_cast<size_t>(std::clamp(half, 1l, static_cast<long>(MAX_BINS)));
}

uint16_t sim_report_freq(const Sim &s)
{
    return s.agile_mhz ? static_cast<uint16_t>(s.agile_mhz) : s.channel.centre_mhz;
}

namespace
{

// The next spectrum of the pool for this tuning, drawing the pool anew
// (lazily, one spectrum a report) when the tuning or bin count changed.
const Magnitudes &pooled_spectrum(Sim &s, uint16_t freq_mhz, uint16_t width_mhz)
{
    size_t bins = sim_bin_count(s);
    if (s.pool_freq_mhz != freq_mhz || s.pool_width_mhz != width_mhz || s.pool_bins != bins) {
        s.pool.clear();
        s.pool_next = 0;
        s.pool_freq_mhz = freq_mhz;
        s.pool_width_mhz = width_mhz;
        s.pool_bins = bins;
    }
    size_t i = s.pool_next++ % POOL_SPECTRA;
    if (i >= s.pool.size()) {
        double spectrum[MAX_BINS];
        model_spectrum(s.cfg.model, freq_mhz, width_mhz, bins, spectrum);
        s.pool.push_back(to_magnitudes(spectrum, bins));
    }
    return s.pool[i];
}

// The scene's next report: its instant (µs of the virtual clock) becomes
// the report's timestamp. Spectra are summed in mW and turned into
// magnitudes with a square root a bin, so a changing spectrum stays cheap.
Magnitudes scene_spectrum(Sim &s, ReportParams &p)
{
    if (!s.scene_ready) {
        s.scene.model = s.cfg.model;
        s.scene.rate_hz = s.cfg.rate_hz;
        s.scene.seed = s.cfg.model.rng;
        for (const Emitter &e : s.cfg.emitters)
            scene_add_emitter(s.scene, e);
        s.scene_ready = true;
    }
    scene_tune(s.scene, p.freq_mhz, p.width_mhz);
    size_t bins = sim_bin_count(s);
    double mw[MAX_BINS];
    SceneReport r = scene_report_mw(s.scene, s.scene_next++, mw, bins);
    p.timestamp = r.timestamp;
    return to_magnitudes_mw(mw, bins);
}

} // namespace

void sim_queue_report(Sim &s)
{
    // A full queue takes nothing more: drop before paying for the report.
    if (s.replay.empty() && s.queue.size() + s.cfg.faults.filler_bytes >= QUEUE_LIMIT) {
        ++s.generated;
        ++s.dropped;
        return;
    }
    std::vector<uint8_t> report;
    if (!s.replay.empty()) {
        if (s.replay_next >= s.replay.size()) {
            if (!s.replay_loop)
                return;
            s.replay_next = 0;
        }
        report = s.replay[s.replay_next++];
    } else {
        ReportParams p;
        if (s.cfg.driver == Driver::Ath10k)
            p.type = 3;
        else
            p.type = s.cfg.types[s.generated % std::max<size_t>(s.cfg.type_count, 1)];
        p.freq_mhz = sim_report_freq(s);
        p.width_mhz = s.channel.width_mhz;
        p.timestamp = s.triggered_ms * 1000 + s.generated % 1000;
        p.noise_floor_dbm = static_cast<int>(s.cfg.model.noise_floor_dbm);
        unsigned every = s.cfg.faults.invalid_every;
        p.invalid = every && (s.generated + 1) % every == 0;
        if (s.cfg.emitters.empty())
            append_generated_report(report, p, pooled_spectrum(s, p.freq_mhz, p.width_mhz));
        else
            append_generated_report(report, p, scene_spectrum(s, p));
    }
    ++s.generated;
    size_t need = s.cfg.faults.filler_bytes + report.size();
    if (s.queue.size() + need > QUEUE_LIMIT) {
        ++s.dropped;
        return;
    }
    s.queue.insert(s.queue.end(), s.cfg.faults.filler_bytes, 0);
    s.report_starts.push_back(s.queue.size());
    s.queue.insert(s.queue.end(), report.begin(), report.end());
}

void sim_tick(Sim &s, uint64_t now_ms)
{
    if (s.last_tick_ms == 0 || now_ms < s.last_tick_ms) {
        s.last_tick_ms = now_ms;
        return;
    }
    uint64_t dt = now_ms - s.last_tick_ms;
    s.last_tick_ms = now_ms;
    if (s.state != CtlState::Triggered)
        return;
    const Faults &f = s.cfg.faults;
    for (uint64_t step = 0; step < dt; ++step) {
        ++s.triggered_ms;
        bool paused = f.pause_for_ms && s.triggered_ms > f.pause_after_ms &&
                      s.triggered_ms <= f.pause_after_ms + f.pause_for_ms;
        if (paused)
            continue;
        s.owed += s.cfg.rate_hz / 1000.0;
        while (s.owed >= 1) {
            s.owed -= 1;
            sim_queue_report(s);
        }
    }
}

void sim_tick_live(Sim &s, uint64_t now_ms)
{
    if (s.last_tick_ms != 0 && now_ms > s.last_tick_ms + MAX_CATCH_UP_MS) {
        s.lost_ms += now_ms - MAX_CATCH_UP_MS - s.last_tick_ms;
        s.last_tick_ms = now_ms - MAX_CATCH_UP_MS;
    }
    sim_tick(s, now_ms);
}

long sim_read_samples(Sim &s, uint8_t *buf, size_t size)
{
    ++s.reads;
    long &fail = s.cfg.faults.fail_reads;
    if (fail != 0) {
        if (fail > 0)
            --fail;
        return -EIO;
    }
    size_t n = std::min(size, s.queue.size());
    if (n == 0)
        return 0;
    ++s.nonempty_reads;
    unsigned every = s.cfg.faults.split_every;
    if (every && s.nonempty_reads % every == 0) {
        // End inside the last report that this read reaches.
        auto it = std::lower_bound(s.report_starts.begin(), s.report_starts.end(), n);
        if (it != s.report_starts.begin()) {
            size_t start = *(it - 1);
            size_t end = it != s.report_starts.end() ? *it : s.queue.size();
            size_t len = end - start;
            if (len >= 2)
                n = start + len / 2;
        }
    }
    std::memcpy(buf, s.queue.data(), n);
    drop_front(s, n);
    return static_cast<long>(n);
}

int sim_load_replay(Sim &s, const std::vector<uint8_t> &bytes)
{
    std::vector<std::vector<uint8_t>> reports;
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 3)
            return -1;
        size_t len = (static_cast<size_t>(bytes[at + 1]) << 8 | bytes[at + 2]) + 3;
        if (bytes.size() - at < len)
            return -1;
        reports.emplace_back(bytes.begin() + static_cast<long>(at),
                             bytes.begin() + static_cast<long>(at + len));
        at += len;
    }
    if (reports.empty())
        return -1;
    s.replay = std::move(reports);
    s.replay_next = 0;
    return 0;
}

} // namespace fakeath
