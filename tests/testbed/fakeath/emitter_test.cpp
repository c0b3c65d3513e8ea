// SPDX-License-Identifier: MIT
// The emitters' time structure, as a scene shows it: the truth's
// on-fraction is the duty asked for, the spectrum agrees with the truth,
// the state is a function of time, and bad texts are refused by name.
#include "emitter.h"
#include "scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>

using namespace fakeath;

TEST(FakeathEmitter, EachKindKeepsItsDutyShapeAndTiming)
{
    struct Case {
        const char *text;
        double centre, width; // the capture
        double duty;          // expected on-fraction
        double top_mhz;       // full-level width when on; 0: not checked
    } cases[] = {
        {"wifi,mhz=2437,duty=0.4,dbm=-55", 2437, 40, 0.4, 16.5},
        {"wifi,mhz=5210,width=80,duty=0.6,burst_ms=5", 5210, 80, 0.6, 75},
        {"microwave,mains=50", 2450, 80, 0.5, 8},
        {"hopper,duty=0.3", 2441, 80, 0.3, 1},
        {"narrowband,mhz=2440,width=3,duty=0.25", 2437, 20, 0.25, 3},
        {"continuous,mhz=2440,width=10", 2437, 20, 1.0, 10},
        {"pulsed,mhz=5500,pulse_us=100,pri_us=1000", 5500, 20, 0.1, 2},
    };
    constexpr size_t bins = 256;
    constexpr uint64_t reports = 20 * 200;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        Emitter e;
        char err[128] = "";
        ASSERT_EQ(emitter_parse(e, c.text, err, sizeof err), 0) << err;
        Scene s;
        s.model.jitter_db = 0;
        ASSERT_EQ(scene_add_emitter(s, e), 0);
        scene_tune(s, c.centre, c.width);
        double step = c.width / bins, dbm[bins];
        std::set<long> peaks;
        bool early_on[64] = {};
        for (uint64_t k = 0; k < reports; ++k) {
            SceneReport r = scene_report(s, k, dbm, bins);
            ASSERT_TRUE(r.inside[0]);
            double *peak = std::max_element(dbm, dbm + bins);
            // On: its level shows, as wide as its full-level width; off:
            // only the noise floor.
            if (!r.on[0]) {
                EXPECT_LT(*peak, -90) << "at " << r.t_us;
                continue;
            }
            EXPECT_NEAR(*peak, s.emitters[0].dbm, 0.5);
            auto level = std::count_if(dbm, dbm + bins, [&](double v) { return v > *peak - 1; });
            EXPECT_NEAR(static_cast<double>(level) * step, c.top_mhz, 3 * step);
            peaks.insert(peak - dbm);
            if (k < 64)
                early_on[k] = true;
            if (e.kind == EmitterKind::Microwave) {
                EXPECT_LT(std::fmod(r.t_us, 20000), 10000); // the first half-cycle
            }
            if (e.kind == EmitterKind::Hopper) {
                double f = c.centre - c.width / 2 + static_cast<double>(peak - dbm) * step;
                EXPECT_TRUE(f > 2401 && f < 2481) << f;
            }
        }
        if (e.kind == EmitterKind::Hopper) {
            EXPECT_GT(peaks.size(), 60u); // it hops across the band
        }
        // The state at a past instant is what it was then.
        for (uint64_t k = 0; k < 64; ++k)
            EXPECT_EQ(emitter_at(s.emitters[0], scene_report_time(s, k)).on, early_on[k]) << k;
        std::string lines;
        scene_truth_lines(s, lines, true);
        std::istringstream in(lines);
        std::string line;
        unsigned long seconds = 0, taken = 0, on = 0;
        while (std::getline(in, line)) {
            unsigned long r = 0, k = 0;
            ASSERT_EQ(sscanf(line.c_str() + line.find("\"reports\""), "\"reports\":%lu,\"on\":%lu",
                             &r, &k),
                      2)
                << line;
            ++seconds, taken += r, on += k;
        }
        EXPECT_EQ(seconds, 20u);
        EXPECT_EQ(taken, reports);
        EXPECT_NEAR(static_cast<double>(on) / static_cast<double>(taken), c.duty, 0.03);
    }
}

TEST(FakeathEmitter, BadTextsAreRefusedNamingWhatIsWrong)
{
    const char *cases[][2] = {
        {"laser,mhz=1", "unknown emitter kind 'laser'"},
        {"wifi", "wifi needs mhz="},
        {"wifi,mhz=2437,width=30", "width of wifi must be 20, 40 or 80"},
        {"microwave,hops=3", "unknown key 'hops'"},
        {"microwave,duty=0.5", "key 'duty' does not apply to microwave"},
        {"microwave,mains=55", "mains of microwave must be 50 or 60"},
        {"hopper,from=2480,to=2402", "from must be below to"},
        {"narrowband,mhz=2405,width=9", "width of narrowband must be 2..5"},
        {"continuous,mhz=abc", "bad value for mhz: 'abc'"},
        {"continuous,mhz=2437,duty=0", "bad value for duty: '0'"},
        {"continuous,mhz=2437,dbm", "'dbm' is not key=value"},
        {"pulsed,mhz=5500,pulse_us=2000", "pulse_us must be shorter than pri_us"},
    };
    for (auto &c : cases) {
        Emitter e;
        char err[128] = "";
        EXPECT_EQ(emitter_parse(e, c[0], err, sizeof err), -1) << c[0];
        EXPECT_NE(std::string(err).find(c[1]), std::string::npos) << c[0] << ": " << err;
    }
}
