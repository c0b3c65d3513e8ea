// SPDX-License-Identifier: MIT
// A scrape's handling of the library's printed diagnostics: captured, not
// mixed into anything, counted as errors. (With nl80211 the system test
// covers the rest.)
#include "scrape.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace airtally_exporter;

TEST(RunCaptured, TakesBothStreamsAndRestoresThem)
{
    printf("buffered before, ");
    const std::string got = run_captured([] {
        printf("to stdout, ");
        fputs("to stderr\n", stderr);
        (void)!write(STDOUT_FILENO, "raw\n", 4);
    });
    // Output pending before the call is flushed to the real stdout, not
    // taken; unflushed output of the call is. The streams' order between
    // each other depends on stdout's buffering.
    EXPECT_NE(got.find("to stdout, "), std::string::npos) << got;
    EXPECT_NE(got.find("to stderr\n"), std::string::npos) << got;
    EXPECT_NE(got.find("raw\n"), std::string::npos) << got;
    EXPECT_EQ(got.size(), std::string("to stdout, to stderr\nraw\n").size()) << got;
    EXPECT_EQ(run_captured([] {}), "");
    // The descriptors are ours again: nothing leaks into the next capture.
    testing::internal::CaptureStdout();
    printf("after\n");
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "after\n");
}

TEST(Scrape, WithoutNl80211ServesOwnMetricsAndCountsEachFailure)
{
    Scraper s;
    testing::internal::CaptureStderr();
    const std::string first = scrape(s);
    if (s.handle != nullptr) {
        testing::internal::GetCapturedStderr();
        scraper_free(s);
        GTEST_SKIP() << "SKIPPED: this kernel has nl80211; the system test scrapes it";
    }
    const std::string second = scrape(s);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(first.find("airtally_exporter_scrapes_total 1\n"), std::string::npos) << first;
    EXPECT_NE(first.find("airtally_exporter_scrape_errors_total{source=\"init\"} 1\n"),
              std::string::npos);
    EXPECT_NE(second.find("airtally_exporter_scrape_errors_total{source=\"init\"} 2\n"),
              std::string::npos);
    EXPECT_EQ(second.find("airtally_radio_info{"), std::string::npos);
    // The library's reason (which depends on what the kernel lacks), said
    // once, each line with where it came from.
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_TRUE(log.starts_with("airtally-exporter: init: ")) << log;
    EXPECT_TRUE(log.ends_with("\nairtally-exporter: init: Failed to initialize nl80211\n")) << log;
    scraper_free(s);
}
