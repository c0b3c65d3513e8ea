// SPDX-License-Identifier: MIT
#include "options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

namespace fakeath
{

namespace
{

enum : int {
    OPT_PHY = 1000,
    OPT_DRIVER,
    OPT_ROOT,
    OPT_RATE,
    OPT_TYPES,
    OPT_FREQ,
    OPT_WIDTH,
    OPT_NOISE,
    OPT_JITTER,
    OPT_TONE,
    OPT_EMITTER,
    OPT_TRUTH,
    OPT_SEED,
    OPT_LOG,
    OPT_READY,
    OPT_REPLAY,
    OPT_REPLAY_LOOP,
    OPT_REFUSE,
    OPT_FAIL_READS,
    OPT_PAUSE,
    OPT_SPLIT,
    OPT_INVALID,
    OPT_FILLER,
    OPT_BURST,
    OPT_FW_DIAG,
    OPT_FW_DIAG_PATH,
    OPT_FW_DIAG_CHUNK,
    OPT_FW_DIAG_INTERVAL,
    OPT_FW_DIAG_EOF,
};

constexpr option long_options[] = {
    {"phy", required_argument, nullptr, OPT_PHY},
    {"driver", required_argument, nullptr, OPT_DRIVER},
    {"root", required_argument, nullptr, OPT_ROOT},
    {"rate", required_argument, nullptr, OPT_RATE},
    {"types", required_argument, nullptr, OPT_TYPES},
    {"freq", required_argument, nullptr, OPT_FREQ},
    {"width", required_argument, nullptr, OPT_WIDTH},
    {"noise-floor", required_argument, nullptr, OPT_NOISE},
    {"jitter", required_argument, nullptr, OPT_JITTER},
    {"tone", required_argument, nullptr, OPT_TONE},
    {"emitter", required_argument, nullptr, OPT_EMITTER},
    {"truth", required_argument, nullptr, OPT_TRUTH},
    {"seed", required_argument, nullptr, OPT_SEED},
    {"log", required_argument, nullptr, OPT_LOG},
    {"ready-file", required_argument, nullptr, OPT_READY},
    {"replay", required_argument, nullptr, OPT_REPLAY},
    {"replay-loop", no_argument, nullptr, OPT_REPLAY_LOOP},
    {"refuse-at-close", required_argument, nullptr, OPT_REFUSE},
    {"fail-reads", required_argument, nullptr, OPT_FAIL_READS},
    {"pause", required_argument, nullptr, OPT_PAUSE},
    {"split-every", required_argument, nullptr, OPT_SPLIT},
    {"invalid-every", required_argument, nullptr, OPT_INVALID},
    {"filler", required_argument, nullptr, OPT_FILLER},
    {"burst", required_argument, nullptr, OPT_BURST},
    {"fw-diag", required_argument, nullptr, OPT_FW_DIAG},
    {"fw-diag-path", required_argument, nullptr, OPT_FW_DIAG_PATH},
    {"fw-diag-chunk", required_argument, nullptr, OPT_FW_DIAG_CHUNK},
    {"fw-diag-interval", required_argument, nullptr, OPT_FW_DIAG_INTERVAL},
    {"fw-diag-eof", no_argument, nullptr, OPT_FW_DIAG_EOF},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

constexpr const char *usage_text = R"(Usage: %s [options]

Simulated ath11k/ath10k spectral-scan debugfs files on FUSE, mounted at
ROOT/ieee80211/phyN/DRIVER (the directory is created, and removed at the
stop; ROOT should be a tmpfs over /sys/kernel/debug). Runs in the foreground until SIGTERM or SIGINT,
then unmounts and exits 0.

Files: spectral_scan_ctl ("background", "trigger", "agile <MHz>", "disable";
other words fail at write with EINVAL), spectral_bins (a number 1..1024;
reports carry half of it as their bin count), chan_bw, freq_shift (numbers,
read back), spectral_scan0 (a read returns and removes the queued reports;
an empty queue reads 0 bytes).

Radio:
  --phy N               phy index (default 0)
  --driver NAME         ath11k (types 4/100) or ath10k (type 3); default ath11k
  --root DIR            debugfs root (default /sys/kernel/debug)
  --freq MHZ            fixed centre frequency; default: ask nl80211 for the
                        phy's channel every 200 ms ("agile" words override)
  --width MHZ           fixed channel width with --freq (default 20)
Reports:
  --rate HZ             reports per second while triggered (default 200)
  --types LIST          ath11k types to alternate: 4, 100 or 4,100 (default)
  --noise-floor DBM     noise floor (default -95)
  --jitter DB           random spread of the noise floor (default 1.5)
  --tone F:DBM[:W]      a tone at F MHz (absolute), or c+N / c-N MHz from
                        the centre, W MHz wide (default 1); up to 8. Without
                        any tone or emitter, one tone c+2:-60.
  --emitter KIND,K=V,...
                        an emitter with time structure; up to 16. Reports are
                        then taken at jittered instants of a virtual clock
                        (report k at (k + u)/rate s, u in [0,1)), each
                        report's timestamp that instant in us. Kinds and keys
                        (defaults in brackets):
                          wifi        mhz, width 20/40/80 [20], dbm [-60],
                                      duty [0.3], burst_ms [2]
                          microwave   mhz [2450], width [8], dbm [-50],
                                      mains 50/60 [50]; on in the first half
                                      of each mains cycle, sweeping +-15 MHz
                          hopper      from [2402], to [2480], hop_us [625],
                                      duty [0.3], dbm [-60]; 1 MHz wide
                          narrowband  mhz, width 2..5 [2], dbm [-60],
                                      duty [0.2], burst_ms [4]
                          continuous  mhz, width [10], dbm [-60], duty [1]
                          pulsed      mhz, width [2], dbm [-60],
                                      pulse_us [50], pri_us [1000]
                        dbm is the level per bin as the spectrum shows it.
  --truth FILE          write, per emitter and second of the virtual clock,
                        {"second":S,"emitter":I,"kind":K,"mhz":F,
                        "width_mhz":W,"dbm":L,"reports":R,"on":N,"duty":D}:
                        R reports with the emitter able to show in the
                        captured band, N of them with it on inside it
  --seed N              seed of the jitter, the emitters and the instants
  --replay FILE         serve the raw reports in FILE (one after another, at
                        --rate) instead of generated ones
  --replay-loop         start the file again at its end
Faults:
  --refuse-at-close W   the word W ("agile" for any agile word) is accepted at
                        write but refused at close (EIO); repeatable
  --fail-reads N        the first N reads of spectral_scan0 fail with EIO
                        (-1: every read)
  --pause A:F           after A ms of triggered scanning, no reports for F ms
  --split-every N       every Nth non-empty read ends halfway into a report
  --invalid-every N     every Nth report is invalid but whole (ath11k: 100
                        bins; ath10k: noise 0)
  --filler N            N zero bytes before every report
  --burst N             N reports queued at once on the first trigger
Observing:
  --log FILE            append every word and number written, one a line:
                        "<file> <text>", with " refused" or
                        " refused-at-close" when refused
  --ready-file FILE     created once the files are served (or the FIFO is
                        open for the feeder)
fw_diag feeder (instead of the spectral files):
  --fw-diag FILE        create the FIFO and write FILE's records into it
  --fw-diag-path P      FIFO path (default
                        /sys/kernel/debug/ath11k/pci-0000:01:00.0/fw_diag)
  --fw-diag-chunk N     write N bytes at a time (default: all at once)
  --fw-diag-interval MS pause between chunks
  --fw-diag-eof         close the FIFO after the file (default: keep it open
                        until stopped, as the driver's stream never ends)
  -h, --help            this text
)";

bool to_long(const char *s, long lo, long hi, long &out)
{
    char *end = nullptr;
    errno = 0;
    long v = strtol(s, &end, 10);
    if (errno || end == s || *end || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool to_double(const char *s, double &out)
{
    char *end = nullptr;
    errno = 0;
    double v = strtod(s, &end);
    if (errno || end == s || *end)
        return false;
    out = v;
    return true;
}

int bad(const char *opt, const char *value)
{
    fprintf(stderr, "fakeath: invalid value for --%s: %s\n", opt, value);
    return PARSE_ERROR;
}

} // namespace

void options_usage(const char *argv0)
{
    printf(usage_text, argv0);
}

int options_parse(Options &o, int argc, char **argv)
{
    optind = 1;
    bool tones = false;
    int c = 0;
    int index = 0;
    while ((c = getopt_long(argc, argv, "h", long_options, &index)) != -1) {
        const char *name = c >= OPT_PHY ? long_options[index].name : "";
        long v = 0;
        double d = 0;
        switch (c) {
        case 'h':
            return PARSE_HELP;
        case OPT_PHY:
            if (!to_long(optarg, 0, 255, v))
                return bad(name, optarg);
            o.phy = static_cast<unsigned>(v);
            break;
        case OPT_DRIVER:
            if (strcmp(optarg, "ath11k") == 0)
                o.sim.driver = Driver::Ath11k;
            else if (strcmp(optarg, "ath10k") == 0)
                o.sim.driver = Driver::Ath10k;
            else
                return bad(name, optarg);
            break;
        case OPT_ROOT:
            o.root = optarg;
            break;
        case OPT_RATE:
            if (!to_double(optarg, d) || d <= 0 || d > 100000)
                return bad(name, optarg);
            o.sim.rate_hz = d;
            break;
        case OPT_TYPES:
            if (strcmp(optarg, "4") == 0) {
                o.sim.types[0] = 4;
                o.sim.type_count = 1;
            } else if (strcmp(optarg, "100") == 0) {
                o.sim.types[0] = 100;
                o.sim.type_count = 1;
            } else if (strcmp(optarg, "4,100") == 0) {
                o.sim.types[0] = 4;
                o.sim.types[1] = 100;
                o.sim.type_count = 2;
            } else {
                return bad(name, optarg);
            }
            break;
        case OPT_FREQ:
            if (!to_long(optarg, 1, 7200, v))
                return bad(name, optarg);
            o.fixed_channel = true;
            o.channel.centre_mhz = static_cast<uint16_t>(v);
            break;
        case OPT_WIDTH:
            if (!to_long(optarg, 1, 255, v))
                return bad(name, optarg);
            o.channel.width_mhz = static_cast<uint16_t>(v);
            break;
        case OPT_NOISE:
            if (!to_double(optarg, d) || d < -150 || d > 0)
                return bad(name, optarg);
            o.sim.model.noise_floor_dbm = d;
            break;
        case OPT_JITTER:
            if (!to_double(optarg, d) || d < 0 || d > 30)
                return bad(name, optarg);
            o.sim.model.jitter_db = d;
            break;
        case OPT_TONE: {
            Tone t;
            if (tone_parse(t, optarg) != 0 || model_add_tone(o.sim.model, t) != 0)
                return bad(name, optarg);
            tones = true;
            break;
        }
        case OPT_EMITTER: {
            Emitter e;
            char why[128] = "";
            if (o.sim.emitters.size() >= MAX_EMITTERS) {
                fprintf(stderr, "fakeath: at most %zu emitters\n", MAX_EMITTERS);
                return PARSE_ERROR;
            }
            if (emitter_parse(e, optarg, why, sizeof why) != 0) {
                fprintf(stderr, "fakeath: invalid value for --%s: %s (%s)\n", name, optarg, why);
                return PARSE_ERROR;
            }
            o.sim.emitters.push_back(e);
            break;
        }
        case OPT_TRUTH:
            o.truth_path = optarg;
            break;
        case OPT_SEED:
            if (!to_long(optarg, 0, __LONG_MAX__, v))
                return bad(name, optarg);
            o.seed = static_cast<uint64_t>(v);
            break;
        case OPT_LOG:
            o.log_path = optarg;
            break;
        case OPT_READY:
            o.ready_file = optarg;
            break;
        case OPT_REPLAY:
            o.replay_path = optarg;
            break;
        case OPT_REPLAY_LOOP:
            o.replay_loop = true;
            break;
        case OPT_REFUSE: {
            Faults &f = o.sim.faults;
            if (f.refuse_count >= MAX_REFUSED_WORDS)
                return bad(name, optarg);
            o.refused[f.refuse_count] = optarg;
            f.refuse_at_close[f.refuse_count] = o.refused[f.refuse_count].c_str();
            ++f.refuse_count;
            break;
        }
        case OPT_FAIL_READS:
            if (!to_long(optarg, -1, __LONG_MAX__, v))
                return bad(name, optarg);
            o.sim.faults.fail_reads = v;
            break;
        case OPT_PAUSE: {
            unsigned long a = 0, f = 0;
            char tail = 0;
            if (sscanf(optarg, "%lu:%lu%c", &a, &f, &tail) != 2)
                return bad(name, optarg);
            o.sim.faults.pause_after_ms = a;
            o.sim.faults.pause_for_ms = f;
            break;
        }
        case OPT_SPLIT:
        case OPT_INVALID:
        case OPT_FILLER:
        case OPT_BURST:
            if (!to_long(optarg, 0, 1000000, v))
                return bad(name, optarg);
            (c == OPT_SPLIT     ? o.sim.faults.split_every
             : c == OPT_INVALID ? o.sim.faults.invalid_every
             : c == OPT_FILLER  ? o.sim.faults.filler_bytes
                                : o.sim.faults.burst) = static_cast<unsigned>(v);
            break;
        case OPT_FW_DIAG:
            o.fw_diag_file = optarg;
            break;
        case OPT_FW_DIAG_PATH:
            o.fw_diag_path = optarg;
            break;
        case OPT_FW_DIAG_CHUNK:
            if (!to_long(optarg, 0, 1 << 30, v))
                return bad(name, optarg);
            o.fw_diag_chunk = static_cast<size_t>(v);
            break;
        case OPT_FW_DIAG_INTERVAL:
            if (!to_long(optarg, 0, 3600000, v))
                return bad(name, optarg);
            o.fw_diag_interval_ms = static_cast<unsigned>(v);
            break;
        case OPT_FW_DIAG_EOF:
            o.fw_diag_eof = true;
            break;
        default:
            return PARSE_ERROR;
        }
    }
    if (optind < argc) {
        fprintf(stderr, "fakeath: unexpected argument: %s\n", argv[optind]);
        return PARSE_ERROR;
    }
    if (!tones && o.sim.emitters.empty()) {
        Tone t;
        tone_parse(t, "c+2:-60");
        model_add_tone(o.sim.model, t);
    }
    if (o.seed)
        o.sim.model.rng = o.seed * 0x9e3779b97f4a7c15ull + 1;
    return PARSE_OK;
}

} // namespace fakeath
