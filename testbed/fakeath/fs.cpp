// SPDX-License-Identifier: MIT
#define FUSE_USE_VERSION 31
#include "fs.h"

#include "nl_channel.h"

#include <fuse.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace fakeath
{

namespace
{

enum class Kind : uint8_t { Ctl, Number, Samples };

struct FileEntry {
    const char *name;
    Kind kind;
    mode_t mode;
};

constexpr FileEntry files[] = {
    {"spectral_scan_ctl", Kind::Ctl, 0600},  {"spectral_bins", Kind::Number, 0600},
    {"spectral_scan0", Kind::Samples, 0400}, {"chan_bw", Kind::Number, 0600},
    {"freq_shift", Kind::Number, 0600},
};

struct Served {
    Options *opts = nullptr;
    Sim sim;
    std::mutex lock;
    FILE *log = nullptr;
    size_t logged = 0;
    FILE *truth = nullptr;
};

// Words written on one open of spectral_scan_ctl, acted on at close.
struct CtlHandle {
    std::vector<std::string> pending;
};

Served *served()
{
    return static_cast<Served *>(fuse_get_context()->private_data);
}

const FileEntry *find_file(const char *path)
{
    if (path[0] != '/')
        return nullptr;
    for (const FileEntry &f : files)
        if (strcmp(path + 1, f.name) == 0)
            return &f;
    return nullptr;
}

uint64_t now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

// Caller holds the lock.
void flush_log(Served &s)
{
    if (!s.log)
        return;
    for (; s.logged < s.sim.log.size(); ++s.logged)
        fprintf(s.log, "%s\n", s.sim.log[s.logged].c_str());
    fflush(s.log);
}

// Caller holds the lock. Writes the emitters' finished seconds (all of
// them when flush, at the stop).
void flush_truth(Served &s, bool flush)
{
    if (!s.truth)
        return;
    std::string lines;
    scene_truth_lines(s.sim.scene, lines, flush);
    if (lines.empty())
        return;
    fputs(lines.c_str(), s.truth);
    fflush(s.truth);
}

int fs_getattr(const char *path, struct stat *st, fuse_file_info *)
{
    memset(st, 0, sizeof *st);
    st->st_uid = getuid();
    st->st_gid = getgid();
    if (strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    const FileEntry *f = find_file(path);
    if (!f)
        return -ENOENT;
    // debugfs reports size 0 for these files; readers must not trust it.
    st->st_mode = S_IFREG | f->mode;
    st->st_nlink = 1;
    return 0;
}

int fs_readdir(const char *path, void *buf, fuse_fill_dir_t fill, off_t, fuse_file_info *,
               fuse_readdir_flags)
{
    if (strcmp(path, "/") != 0)
        return -ENOENT;
    fill(buf, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buf, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    for (const FileEntry &f : files)
        fill(buf, f.name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

int fs_open(const char *path, fuse_file_info *fi)
{
    const FileEntry *f = find_file(path);
    if (!f)
        return -ENOENT;
    if (f->kind == Kind::Samples && (fi->flags & O_ACCMODE) != O_RDONLY)
        return -EACCES;
    // Every read and write must reach the simulator: the page cache would
    // replay old reports and hide consumption.
    fi->direct_io = 1;
    fi->keep_cache = 0;
    if (f->kind == Kind::Samples)
        fi->nonseekable = 1;
    fi->fh = f->kind == Kind::Ctl ? reinterpret_cast<uint64_t>(new CtlHandle) : 0;
    return 0;
}

int fs_truncate(const char *path, off_t, fuse_file_info *)
{
    // fopen(..., "w") truncates first; the files have no content to cut.
    return find_file(path) ? 0 : -ENOENT;
}

int fs_read(const char *path, char *buf, size_t size, off_t off, fuse_file_info *)
{
    const FileEntry *f = find_file(path);
    if (!f)
        return -ENOENT;
    Served &s = *served();
    std::lock_guard<std::mutex> g(s.lock);
    if (f->kind == Kind::Samples) {
        sim_tick_live(s.sim, now_ms());
        long n = sim_read_samples(s.sim, reinterpret_cast<uint8_t *>(buf), size);
        return static_cast<int>(n);
    }
    std::string text;
    if (f->kind == Kind::Number) {
        text = sim_read_number(s.sim, f->name);
    } else {
        static constexpr const char *names[] = {"disable\n", "background\n", "trigger\n"};
        text = names[static_cast<int>(s.sim.state)];
    }
    if (off < 0 || static_cast<size_t>(off) >= text.size())
        return 0;
    size_t n = std::min(size, text.size() - static_cast<size_t>(off));
    memcpy(buf, text.data() + off, n);
    return static_cast<int>(n);
}

int fs_write(const char *path, const char *buf, size_t size, off_t, fuse_file_info *fi)
{
    const FileEntry *f = find_file(path);
    if (!f || f->kind == Kind::Samples)
        return -EACCES;
    Served &s = *served();
    std::lock_guard<std::mutex> g(s.lock);
    std::string text(buf, size);
    int rc = 0;
    if (f->kind == Kind::Ctl) {
        rc = sim_write_ctl(s.sim, text);
        if (rc == 0)
            reinterpret_cast<CtlHandle *>(fi->fh)->pending.push_back(text);
    } else {
        rc = sim_write_number(s.sim, f->name, text);
    }
    flush_log(s);
    return rc < 0 ? rc : static_cast<int>(size);
}

int fs_flush(const char *, fuse_file_info *fi)
{
    if (!fi->fh)
        return 0;
    auto *h = reinterpret_cast<CtlHandle *>(fi->fh);
    Served &s = *served();
    std::lock_guard<std::mutex> g(s.lock);
    sim_tick_live(s.sim, now_ms());
    int rc = 0;
    for (const std::string &w : h->pending) {
        int r = sim_close_ctl(s.sim, w);
        if (r < 0 && rc == 0)
            rc = r;
    }
    h->pending.clear();
    flush_log(s);
    return rc;
}

int fs_release(const char *, fuse_file_info *fi)
{
    delete reinterpret_cast<CtlHandle *>(fi->fh);
    fi->fh = 0;
    return 0;
}

// Keeps the queue filling while nobody reads, and follows the phy's channel.
void generator(Served &s, const std::atomic<bool> &stop)
{
    uint64_t last_channel = 0;
    while (!stop.load()) {
        uint64_t now = now_ms();
        if (!s.opts->fixed_channel && now - last_channel >= 200) {
            last_channel = now;
            Channel ch;
            bool known = nl_phy_channel(s.opts->phy, ch) == 0;
            std::lock_guard<std::mutex> g(s.lock);
            if (known)
                s.sim.channel = ch;
        }
        {
            std::lock_guard<std::mutex> g(s.lock);
            sim_tick_live(s.sim, now_ms());
            flush_truth(s, false);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int make_dirs(const std::string &path)
{
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            std::string part = path.substr(0, at);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
                fprintf(stderr, "fakeath: cannot create %s: %s\n", part.c_str(), strerror(errno));
                return -1;
            }
        }
    }
    return 0;
}

std::vector<uint8_t> read_whole(const std::string &path, bool &ok)
{
    std::vector<uint8_t> bytes;
    ok = false;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    uint8_t chunk[65536];
    size_t n = 0;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    ok = !ferror(f);
    fclose(f);
    return bytes;
}

// Opens an optional output file (none when the path is empty).
int open_output(const std::string &path, FILE *&out)
{
    if (path.empty())
        return 0;
    out = fopen(path.c_str(), "w");
    if (!out) {
        fprintf(stderr, "fakeath: cannot open %s: %s\n", path.c_str(), strerror(errno));
        return -1;
    }
    return 0;
}

} // namespace

int serve_spectral_files(Options &opts)
{
    Served s;
    s.opts = &opts;
    s.sim.cfg = opts.sim;
    s.sim.channel = opts.channel;
    s.sim.replay_loop = opts.replay_loop;
    if (!opts.replay_path.empty()) {
        bool ok = false;
        std::vector<uint8_t> bytes = read_whole(opts.replay_path, ok);
        if (!ok || sim_load_replay(s.sim, bytes) != 0) {
            fprintf(stderr, "fakeath: %s is not a file of whole reports\n",
                    opts.replay_path.c_str());
            return 1;
        }
    }
    if (!opts.fixed_channel)
        nl_phy_channel(opts.phy, s.sim.channel);
    if (open_output(opts.log_path, s.log) != 0)
        return 1;
    if (open_output(opts.truth_path, s.truth) != 0) {
        if (s.log)
            fclose(s.log);
        return 1;
    }
    const char *driver = opts.sim.driver == Driver::Ath10k ? "ath10k" : "ath11k";
    std::string dir = opts.root + "/ieee80211/phy" + std::to_string(opts.phy) + "/" + driver;
    if (make_dirs(dir) != 0)
        return 1;

    fuse_operations ops{};
    ops.getattr = fs_getattr;
    ops.readdir = fs_readdir;
    ops.open = fs_open;
    ops.truncate = fs_truncate;
    ops.read = fs_read;
    ops.write = fs_write;
    ops.flush = fs_flush;
    ops.release = fs_release;

    char arg0[] = "fakeath";
    char *argv[] = {arg0, nullptr};
    fuse_args args = FUSE_ARGS_INIT(1, argv);
    fuse *f = fuse_new(&args, &ops, sizeof ops, &s);
    if (!f) {
        fprintf(stderr, "fakeath: fuse_new failed\n");
        return 1;
    }
    int rc = 1;
    if (fuse_mount(f, dir.c_str()) != 0) {
        fprintf(stderr, "fakeath: cannot mount on %s (is /dev/fuse there?)\n", dir.c_str());
    } else {
        fuse_session *se = fuse_get_session(f);
        fuse_set_signal_handlers(se);
        std::atomic<bool> stop{false};
        std::thread gen(generator, std::ref(s), std::cref(stop));
        if (!opts.ready_file.empty()) {
            FILE *r = fopen(opts.ready_file.c_str(), "w");
            if (r)
                fclose(r);
        }
        printf("fakeath: serving %s (%s, %s channel %u MHz/%u MHz)\n", dir.c_str(), driver,
               opts.fixed_channel ? "fixed" : "nl80211", s.sim.channel.centre_mhz,
               s.sim.channel.width_mhz);
        fflush(stdout);
        // fuse_loop answers the number of the signal that ended it.
        int res = fuse_loop(f);
        rc = res == 0 || res == SIGTERM || res == SIGINT ? 0 : 1;
        stop = true;
        gen.join();
        flush_truth(s, true);
        fuse_remove_signal_handlers(se);
        fuse_unmount(f);
        // A driver's directory goes with the driver: programs that keep
        // writing its control files must find nothing there, not create
        // files in the tmpfs below.
        rmdir(dir.c_str());
        printf("fakeath: stopped after %llu reports (%llu dropped)\n",
               static_cast<unsigned long long>(s.sim.generated),
               static_cast<unsigned long long>(s.sim.dropped));
    }
    fuse_destroy(f);
    fuse_opt_free_args(&args);
    if (s.log)
        fclose(s.log);
    if (s.truth)
        fclose(s.truth);
    return rc;
}

} // namespace fakeath
