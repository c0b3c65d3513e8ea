// SPDX-License-Identifier: MIT
#include "emitter.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fakeath
{

namespace
{

constexpr unsigned bit(EmitterKind k)
{
    return 1u << static_cast<unsigned>(k);
}

constexpr unsigned WIFI = bit(EmitterKind::Wifi), MICROWAVE = bit(EmitterKind::Microwave),
                   HOPPER = bit(EmitterKind::Hopper), NARROW = bit(EmitterKind::Narrowband),
                   CONT = bit(EmitterKind::Continuous), PULSED = bit(EmitterKind::Pulsed);

struct KindEntry {
    const char *name;
    EmitterKind kind;
    bool needs_mhz; // no sensible default centre
};

constexpr KindEntry kinds[] = {
    {"wifi", EmitterKind::Wifi, true},
    {"microwave", EmitterKind::Microwave, false},
    {"hopper", EmitterKind::Hopper, false},
    {"narrowband", EmitterKind::Narrowband, true},
    {"continuous", EmitterKind::Continuous, true},
    {"pulsed", EmitterKind::Pulsed, true},
};

struct KeyEntry {
    const char *name;
    double Emitter::*field;
    double lo, hi; // accepted range, inclusive
    unsigned kinds;
};

constexpr KeyEntry keys[] = {
    {"mhz", &Emitter::mhz, 1, 7200, WIFI | MICROWAVE | NARROW | CONT | PULSED},
    {"dbm", &Emitter::dbm, -150, 0, WIFI | MICROWAVE | HOPPER | NARROW | CONT | PULSED},
    {"width", &Emitter::width_mhz, 0.1, 160, WIFI | MICROWAVE | NARROW | CONT | PULSED},
    {"duty", &Emitter::duty, 0.001, 1, WIFI | HOPPER | NARROW | CONT},
    {"burst_ms", &Emitter::burst_ms, 0.01, 10000, WIFI | NARROW},
    {"mains", &Emitter::mains_hz, 50, 60, MICROWAVE},
    {"from", &Emitter::from_mhz, 1, 7200, HOPPER},
    {"to", &Emitter::to_mhz, 1, 7200, HOPPER},
    {"hop_us", &Emitter::hop_us, 1, 1e6, HOPPER},
    {"pulse_us", &Emitter::pulse_us, 0.1, 1e6, PULSED},
    {"pri_us", &Emitter::pri_us, 1, 1e7, PULSED},
};

// Defaults that differ by kind; the record's own serve the rest.
void set_defaults(Emitter &e)
{
    switch (e.kind) {
    case EmitterKind::Wifi:
        e.width_mhz = 20;
        e.duty = 0.3;
        break;
    case EmitterKind::Microwave:
        e.mhz = 2450;
        e.width_mhz = 8;
        e.dbm = -50;
        e.duty = 0.5;
        break;
    case EmitterKind::Hopper:
        e.width_mhz = 1;
        e.duty = 0.3;
        break;
    case EmitterKind::Narrowband:
        e.width_mhz = 2;
        e.duty = 0.2;
        e.burst_ms = 4;
        break;
    case EmitterKind::Continuous:
        break;
    case EmitterKind::Pulsed:
        e.width_mhz = 2;
        break;
    }
}

int fail(char *err, size_t len, const char *fmt, const char *a, const char *b = "")
{
    snprintf(err, len, fmt, a, b);
    return -1;
}

// Checks that need several keys or one kind's own rule.
int check_kind(Emitter &e, char *err, size_t len)
{
    const char *name = emitter_kind_name(e.kind);
    if (e.kind == EmitterKind::Wifi && e.width_mhz != 20 && e.width_mhz != 40 && e.width_mhz != 80)
        return fail(err, len, "width of %s must be 20, 40 or 80%s", name);
    if (e.kind == EmitterKind::Microwave && e.mains_hz != 50 && e.mains_hz != 60)
        return fail(err, len, "mains of %s must be 50 or 60%s", name);
    if (e.kind == EmitterKind::Narrowband && (e.width_mhz < 2 || e.width_mhz > 5))
        return fail(err, len, "width of %s must be 2..5%s", name);
    if (e.kind == EmitterKind::Hopper) {
        e.from_mhz = std::round(e.from_mhz);
        e.to_mhz = std::round(e.to_mhz);
        if (e.from_mhz >= e.to_mhz)
            return fail(err, len, "from must be below to for %s%s", name);
        e.mhz = (e.from_mhz + e.to_mhz) / 2;
    }
    if (e.kind == EmitterKind::Pulsed && e.pulse_us >= e.pri_us)
        return fail(err, len, "pulse_us must be shorter than pri_us for %s%s", name);
    return 0;
}

// One "key=value" of the text, checked against the key table.
int apply_key(Emitter &e, char *word, bool &have_mhz, char *err, size_t len)
{
    char *eq = strchr(word, '=');
    if (!eq)
        return fail(err, len, "'%s' is not key=value%s", word);
    *eq = '\0';
    const char *value = eq + 1;
    const KeyEntry *key = nullptr;
    for (const KeyEntry &k : keys)
        if (strcmp(word, k.name) == 0)
            key = &k;
    if (!key)
        return fail(err, len, "unknown key '%s'%s", word);
    if (!(key->kinds & bit(e.kind)))
        return fail(err, len, "key '%s' does not apply to %s", word, emitter_kind_name(e.kind));
    char *end = nullptr;
    errno = 0;
    double v = strtod(value, &end);
    if (errno || end == value || *end || !std::isfinite(v) || v < key->lo || v > key->hi)
        return fail(err, len, "bad value for %s: '%s'", word, value);
    e.*key->field = v;
    have_mhz = have_mhz || key->field == &Emitter::mhz;
    return 0;
}

uint64_t splitmix(uint64_t x)
{
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

double unit_of(uint64_t x)
{
    return static_cast<double>(x >> 11) / static_cast<double>(1ull << 53);
}

double next_unit(uint64_t &state)
{
    state += 0x9e3779b97f4a7c15ull;
    return unit_of(splitmix(state));
}

// Exponential length with the given mean, never 0 so time always moves.
double exp_length(uint64_t &state, double mean)
{
    return -mean * std::log(1 - next_unit(state)) + 1e-3;
}

double top_width(const Emitter &e)
{
    // OFDM occupies 16.5/35/75 MHz of a 20/40/80 MHz channel.
    if (e.kind == EmitterKind::Wifi)
        return e.width_mhz == 20 ? 16.5 : e.width_mhz == 40 ? 35 : 75;
    return e.width_mhz;
}

// Alternating renewal process: exponential on-bursts of mean burst_ms and
// off-gaps of mean burst·(1−duty)/duty, so the long-run on-fraction is duty.
// It starts in its stationary state (on with probability duty) so the
// first second is not biased.
bool renewal_on(Emitter &e, double t_us)
{
    if (e.duty >= 1)
        return true;
    double on_mean = e.burst_ms * 1000;
    double off_mean = on_mean * (1 - e.duty) / e.duty;
    if (t_us < e.last_us)
        e.switch_us = -1; // a step back: replay the history from 0
    e.last_us = t_us;
    if (e.switch_us < 0) {
        e.rng = splitmix(e.seed);
        e.burst_on = next_unit(e.rng) < e.duty;
        e.switch_us = exp_length(e.rng, e.burst_on ? on_mean : off_mean);
    }
    while (t_us >= e.switch_us) {
        e.burst_on = !e.burst_on;
        e.switch_us += exp_length(e.rng, e.burst_on ? on_mean : off_mean);
    }
    return e.burst_on;
}

} // namespace

const char *emitter_kind_name(EmitterKind kind)
{
    for (const KindEntry &k : kinds)
        if (k.kind == kind)
            return k.name;
    return "?";
}

int emitter_parse(Emitter &e, const char *text, char *err, size_t err_len)
{
    char buf[256];
    if (strlen(text) >= sizeof buf)
        return fail(err, err_len, "emitter text too long%s", "");
    snprintf(buf, sizeof buf, "%s", text);
    char *save = nullptr;
    char *word = strtok_r(buf, ",", &save);
    const KindEntry *kind = nullptr;
    for (const KindEntry &k : kinds)
        if (word && strcmp(word, k.name) == 0)
            kind = &k;
    if (!kind)
        return fail(err, err_len, "unknown emitter kind '%s'", word ? word : "");
    Emitter parsed;
    parsed.kind = kind->kind;
    set_defaults(parsed);
    bool have_mhz = false;
    while ((word = strtok_r(nullptr, ",", &save)) != nullptr)
        if (apply_key(parsed, word, have_mhz, err, err_len) != 0)
            return -1;
    if (kind->needs_mhz && !have_mhz)
        return fail(err, err_len, "%s needs mhz=%s", kind->name);
    if (check_kind(parsed, err, err_len) != 0)
        return -1;
    e = parsed;
    return 0;
}

EmitterState emitter_at(Emitter &e, double t_us)
{
    EmitterState s;
    s.centre_mhz = e.mhz;
    s.half_top_mhz = top_width(e) / 2;
    switch (e.kind) {
    case EmitterKind::Wifi:
    case EmitterKind::Narrowband:
    case EmitterKind::Continuous:
        s.on = renewal_on(e, t_us);
        break;
    case EmitterKind::Microwave: {
        // On in the first half of each mains cycle; the magnetron's
        // frequency drifts across ±15 MHz during the on-half.
        double period = 1e6 / e.mains_hz, half = period / 2;
        double phase = std::fmod(t_us, period);
        s.on = phase < half;
        s.centre_mhz = e.mhz - 15 + 30 * phase / half;
        break;
    }
    case EmitterKind::Hopper: {
        auto slot = static_cast<uint64_t>(t_us / e.hop_us);
        uint64_t h = splitmix(e.seed ^ splitmix(slot));
        auto positions = static_cast<uint64_t>(e.to_mhz - e.from_mhz) + 1;
        s.centre_mhz = e.from_mhz + static_cast<double>(h % positions);
        s.on = unit_of(splitmix(h)) < e.duty;
        break;
    }
    case EmitterKind::Pulsed: {
        double offset = unit_of(splitmix(e.seed)) * e.pri_us;
        s.on = std::fmod(t_us + offset, e.pri_us) < e.pulse_us;
        break;
    }
    }
    return s;
}

void emitter_span(const Emitter &e, double &low_mhz, double &high_mhz)
{
    double half = top_width(e) / 2;
    double reach = e.kind == EmitterKind::Microwave ? 15
                   : e.kind == EmitterKind::Hopper  ? (e.to_mhz - e.from_mhz) / 2
                                                    : 0;
    low_mhz = e.mhz - reach - half;
    high_mhz = e.mhz + reach + half;
}

} // namespace fakeath
