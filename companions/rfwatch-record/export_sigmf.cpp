// SPDX-License-Identifier: MIT
#include "export_sigmf.h"

#include "export_output.h"
#include "line_record.h"

#include <bit>
#include <cJSON.h>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// How far back an air window can be found: 4096 lines, over 6 minutes at
// the daemon's usual 10 lines a second, beyond the longest window (60 s).
constexpr size_t RECENT_LINES = 4096;

std::string iso_time(uint64_t time_us)
{
    char micro[16];
    snprintf(micro, sizeof micro, ".%06uZ", static_cast<unsigned>(time_us % 1000000));
    return utc_text(time_us, "%Y-%m-%dT%H:%M:%S") + micro;
}

// The recording's name without its folder and its last extension.
std::string dataset_name(const char *in)
{
    std::string name(in);
    if (const size_t slash = name.rfind('/'); slash != std::string::npos)
        name.erase(0, slash + 1);
    if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name.empty() ? "recording" : name;
}

// A temporary file in dir, removed from the directory at once: it goes away
// with its descriptor whatever ends the export.
FILE *unlinked_temporary(const std::string &dir, const std::string &name)
{
    std::string path = dir + "/." + name + ".XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0)
        return nullptr;
    unlink(path.c_str());
    FILE *file = fdopen(fd, "w+");
    if (!file)
        close(fd);
    return file;
}

// Appends one JSON object to a list being streamed (a comma before all but
// the first).
void append_object(FILE *file, uint64_t &count, const cJSON *object, bool &failed)
{
    char *text = cJSON_PrintUnformatted(object);
    if (!text) {
        failed = true; // out of memory: the meta would lack an entry
        return;
    }
    if (count++ > 0)
        fputc(',', file);
    fputs(text, file);
    cJSON_free(text);
}

void write_annotation(SigmfExport &s, const SignalRun &run)
{
    JsonPtr a(cJSON_CreateObject(), cJSON_Delete);
    cJSON_AddNumberToObject(a.get(), "core:sample_start", static_cast<double>(run.start));
    cJSON_AddNumberToObject(a.get(), "core:sample_count", static_cast<double>(run.end - run.start));
    cJSON_AddNumberToObject(a.get(), "core:freq_lower_edge", std::round(run.lower_mhz * 1e6));
    cJSON_AddNumberToObject(a.get(), "core:freq_upper_edge", std::round(run.upper_mhz * 1e6));
    cJSON_AddStringToObject(a.get(), "core:label", run.cls.c_str());
    char comment[128];
    snprintf(comment, sizeof comment, "peak %.1f dBm, duty %.3f (mean of %u air lines)",
             run.peak_dbm, run.duty_sum / run.lines, run.lines);
    cJSON_AddStringToObject(a.get(), "core:comment", comment);
    cJSON_AddNumberToObject(a.get(), "wifidiag:air_freq_hz", run.air_mhz * 1e6);
    append_object(s.annotations, s.annotation_count, a.get(), s.failed);
}

JsonPtr global_object(const SigmfExport &s, const RecordingHeader &header)
{
    JsonPtr g(cJSON_CreateObject(), cJSON_Delete);
    cJSON_AddStringToObject(g.get(), "core:datatype", "rf32_le");
    cJSON_AddStringToObject(g.get(), "core:version", "1.0.0");
    cJSON_AddStringToObject(g.get(), "core:recorder", "rfwatch-record");
    const std::string driver = header.driver.empty() ? s.driver : header.driver;
    const std::string description =
        "rfwatchd spectra of " + (header.radio.empty() ? "a radio" : header.radio) +
        ": per line wifidiag:bins float32 dBm" +
        (driver == "ath10k" ? " (ath10k magnitudes converted to dBm)" : "");
    cJSON_AddStringToObject(g.get(), "core:description", description.c_str());
    cJSON_AddStringToObject(g.get(), "core:hw", driver.empty() ? "unknown" : driver.c_str());
    cJSON *extensions = cJSON_AddArrayToObject(g.get(), "core:extensions");
    cJSON *wifidiag = cJSON_CreateObject();
    cJSON_AddStringToObject(wifidiag, "name", "wifidiag");
    cJSON_AddStringToObject(wifidiag, "version", "1.0.0");
    cJSON_AddBoolToObject(wifidiag, "optional", true);
    cJSON_AddItemToArray(extensions, wifidiag);
    cJSON_AddStringToObject(g.get(), "wifidiag:radio", header.radio.c_str());
    cJSON_AddStringToObject(g.get(), "wifidiag:source", header.source.c_str());
    cJSON_AddStringToObject(g.get(), "wifidiag:recorded_by", header.recorder.c_str());
    cJSON_AddStringToObject(g.get(), "wifidiag:started", iso_time(header.started_us).c_str());
    return g;
}

// Copies a streamed list into the meta.
bool copy_list(FILE *from, FILE *to)
{
    if (fflush(from) != 0 || fseek(from, 0, SEEK_SET) != 0)
        return false;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, from)) > 0) {
        fwrite(buffer, 1, n, to);
    }
    return !ferror(from);
}

void close_file(FILE *&file)
{
    if (file)
        fclose(file);
    file = nullptr;
}

} // namespace

bool sigmf_open(SigmfExport &s, const char *in, const char *dir, std::string &error)
{
    if (mkdir(dir, 0755) != 0 && errno != EEXIST) {
        error = errno_text(dir);
        return false;
    }
    struct stat st {
    };
    if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = std::string(dir) + ": not a directory";
        return false;
    }
    const std::string name = dataset_name(in);
    s.data_path = std::string(dir) + "/" + name + ".sigmf-data";
    s.meta_path = std::string(dir) + "/" + name + ".sigmf-meta";
    for (const std::string *path : {&s.data_path, &s.meta_path}) {
        if (lstat(path->c_str(), &st) == 0) {
            error = *path + ": exists: not overwritten (remove it first)";
            return false;
        }
    }
    const int fd = open(s.data_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    s.created = fd >= 0;
    if (fd < 0 || !(s.data = fdopen(fd, "w"))) {
        error = errno_text(s.data_path);
        if (fd >= 0)
            close(fd);
        sigmf_abandon(s);
        return false;
    }
    s.captures = unlinked_temporary(dir, name + ".captures");
    s.annotations = unlinked_temporary(dir, name + ".annotations");
    if (!s.captures || !s.annotations) {
        error = errno_text(std::string(dir) + ": a temporary file");
        sigmf_abandon(s);
        return false;
    }
    s.runs.sink = [&s](const SignalRun &run) { write_annotation(s, run); };
    return true;
}

void sigmf_spectrum(SigmfExport &s, const SpectrumLine &line, uint64_t arrived_us)
{
    if (s.driver.empty())
        s.driver = driver_of_spectrum(line);
    if (s.capture_count == 0 || line.freq_mhz != s.freq_mhz ||
        line.bandwidth_mhz != s.bandwidth_mhz || line.n != s.bins) {
        s.freq_mhz = line.freq_mhz;
        s.bandwidth_mhz = line.bandwidth_mhz;
        s.bins = line.n;
        JsonPtr c(cJSON_CreateObject(), cJSON_Delete);
        cJSON_AddNumberToObject(c.get(), "core:sample_start", static_cast<double>(s.samples));
        cJSON_AddNumberToObject(c.get(), "core:frequency", line.freq_mhz * 1e6);
        cJSON_AddStringToObject(c.get(), "core:datetime", iso_time(arrived_us).c_str());
        cJSON_AddNumberToObject(c.get(), "wifidiag:bins", static_cast<double>(line.n));
        cJSON_AddNumberToObject(c.get(), "wifidiag:bandwidth_hz", line.bandwidth_mhz * 1e6);
        append_object(s.captures, s.capture_count, c.get(), s.failed);
    }
    s.recent.push_back({arrived_us, s.samples});
    if (s.recent.size() > RECENT_LINES)
        s.recent.pop_front();
    // Little-endian whatever the host, as rf32_le says.
    uint8_t bytes[4 * LINE_MAX_BINS];
    for (size_t j = 0; j < line.n; j++) {
        const auto value = std::isfinite(line.bins[j]) ? static_cast<float>(line.bins[j])
                                                       : std::numeric_limits<float>::quiet_NaN();
        const auto bits = std::bit_cast<uint32_t>(value);
        for (size_t k = 0; k < 4; k++)
            bytes[4 * j + k] = static_cast<uint8_t>(bits >> (8 * k));
    }
    fwrite(bytes, 4, line.n, s.data); // errors: checked at close
    s.samples += line.n;
}

void sigmf_air(SigmfExport &s, const AirLine &air, uint64_t arrived_us)
{
    // The window the line sums up began window_ms before it arrived: its
    // first sample is that of the first spectrum to arrive since.
    const uint64_t window_us = static_cast<uint64_t>(air.window_ms) * 1000;
    const uint64_t begun_us = arrived_us > window_us ? arrived_us - window_us : 0;
    uint64_t from = s.samples;
    for (auto mark = s.recent.rbegin(); mark != s.recent.rend() && mark->time_us >= begun_us;
         ++mark)
        from = mark->sample;
    signal_runs_air(s.runs, air, from, s.samples);
}

bool sigmf_close(SigmfExport &s, const RecordingHeader &header, std::string &error)
{
    signal_runs_end(s.runs);
    bool ok = fflush(s.data) == 0 && !ferror(s.data);
    ok = fclose(s.data) == 0 && ok;
    s.data = nullptr;
    if (!ok) {
        error = errno_text(s.data_path);
        sigmf_abandon(s);
        return false;
    }
    const int fd = open(s.meta_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    FILE *meta = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!meta) {
        error = errno_text(s.meta_path);
        if (fd >= 0) {
            close(fd);
            unlink(s.meta_path.c_str());
        }
        sigmf_abandon(s);
        return false;
    }
    const JsonPtr global = global_object(s, header);
    char *global_text = cJSON_PrintUnformatted(global.get());
    ok = global_text != nullptr && !s.failed;
    if (ok) {
        fprintf(meta, "{\"global\":%s,\n\"captures\":[", global_text);
        cJSON_free(global_text);
        ok = copy_list(s.captures, meta);
        fputs("],\n\"annotations\":[", meta);
        ok = copy_list(s.annotations, meta) && ok;
        fputs("]}\n", meta);
    }
    ok = fflush(meta) == 0 && !ferror(meta) && ok;
    ok = fclose(meta) == 0 && ok;
    if (!ok) {
        error = errno_text(s.meta_path);
        unlink(s.meta_path.c_str());
        sigmf_abandon(s);
        return false;
    }
    close_file(s.captures);
    close_file(s.annotations);
    return true;
}

void sigmf_abandon(SigmfExport &s)
{
    if (s.data) {
        close_file(s.data);
    }
    if (s.created)
        unlink(s.data_path.c_str());
    s.created = false;
    close_file(s.captures);
    close_file(s.annotations);
}
