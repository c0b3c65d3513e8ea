// A client sweep's driver settings: saved once, held while the sweep's
// zeros are in the driver, and written back exactly once, whether the sweep
// ends by cancellation, by its duration or with the daemon. Active sweeps
// cannot tune here (no wireless phy), so a sweep "running" is set up by
// hand: settings held, zeros in the driver files, and an agile sweep (which
// needs only control files) standing in for the active one.
#include "core/client_sweep.h"
#include "core/clients.h"
#include "radio/sweep.h"
#include "test_server.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

using namespace coretest;

namespace
{

// The state a running client sweep leaves: the real values (5, -3) saved
// and held, the driver zeroed.
void pretend_client_sweep(TestServer &ts, SweepType type, uint32_t duration_s)
{
    Server &s = ts.server();
    s.client_sweep.saved = {5, -3};
    s.client_sweep.held = 1;
    ts.write("chan_bw", "0");
    ts.write("freq_shift", "0");
    SweepRequest req{SweepType::Agile, 2400, 2500, 0, 20, duration_s, 200};
    ASSERT_EQ(start_sweep(s.radio, req), RadioError::Success);
    s.radio.sweep_type = type;
}

void send_text(int fd, const std::string &s)
{
    ASSERT_EQ(write(fd, s.data(), s.size()), (ssize_t)s.size());
}

size_t count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
        n++;
    return n;
}

} // namespace

TEST(ClientSweep, ACancellationWithNothingSavedWritesNothing)
{
    START_TEST_SERVER(ts);
    int a = ts.connect_client();
    ASSERT_TRUE(ts.run_for(10));
    int num = first_client(ts.server())->socket;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    send_text(a, R"({"command":3})");
    ASSERT_TRUE(ts.run_for(10));
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Sweep cancellation for client " + std::to_string(num) + "\n");
    EXPECT_EQ(err.find("Setting chan_bw"), std::string::npos) << err;
    EXPECT_EQ(ts.read("chan_bw"), "5");
    EXPECT_EQ(ts.read("freq_shift"), "-3");
    close(a);
}

TEST(ClientSweep, ACancellationWritesTheSavedSettingsBackOnce)
{
    START_TEST_SERVER(ts);
    int a = ts.connect_client();
    ASSERT_TRUE(ts.run_for(10));
    pretend_client_sweep(ts, SweepType::Active, 0);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    send_text(a, R"({"command":3})");
    ASSERT_TRUE(ts.run_for(10));
    EXPECT_EQ(ts.read("chan_bw"), "5");
    EXPECT_EQ(ts.read("freq_shift"), "-3");
    EXPECT_EQ(ts.server().client_sweep.held, 0);
    EXPECT_FALSE(sweep_active(ts.server().radio));
    // A second cancellation finds nothing held: the driver's values stay.
    ts.write("chan_bw", "7");
    send_text(a, R"({"command":3})");
    ASSERT_TRUE(ts.run_for(10));
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count(out, "Sweep cancellation for client "), 2u) << out;
    EXPECT_EQ(count(err, "Setting chan_bw to: 5\n"), 1u) << err;
    EXPECT_EQ(ts.read("chan_bw"), "7");
    close(a);
}

TEST(ClientSweep, ASweepEndedByItsDurationWritesTheSavedSettingsBack)
{
    START_TEST_SERVER(ts);
    ts.set_samples(reports_at({2437}));
    ASSERT_TRUE(ts.run_for(10));
    pretend_client_sweep(ts, SweepType::Agile, 1);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(ts.run_for(static_cast<int>(1000 - PASS_MS)));
    EXPECT_EQ(ts.read("chan_bw"), "0"); // still sweeping
    ASSERT_TRUE(ts.pass());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Sweep timeout, restoring config\n"), std::string::npos) << err;
    EXPECT_EQ(ts.read("chan_bw"), "5");
    EXPECT_EQ(ts.read("freq_shift"), "-3");
    EXPECT_EQ(ts.server().client_sweep.held, 0);
}

TEST(ClientSweep, ANewStartDuringAClientSweepKeepsTheSavedSettings)
{
    START_TEST_SERVER(ts);
    int a = ts.connect_client();
    ASSERT_TRUE(ts.run_for(10));
    pretend_client_sweep(ts, SweepType::Active, 0);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    // Refused before the running sweep is touched (dwell too long): that
    // sweep goes on, and the driver keeps its zeros.
    send_text(a, R"({"command":2,"sweep_from":2400,"sweep_to":2500,"dwell_time_ms":60001})");
    ASSERT_TRUE(ts.run_for(10));
    EXPECT_TRUE(sweep_type_is(ts.server().radio, SweepType::Active));
    EXPECT_EQ(ts.read("chan_bw"), "0");
    EXPECT_EQ(ts.server().client_sweep.held, 1);
    // Accepted, it replaces the running sweep; here it then fails to tune,
    // so no sweep is left and the real values, not the zeros, come back.
    send_text(a, R"({"command":2,"sweep_from":2400,"sweep_to":2500})");
    ASSERT_TRUE(ts.run_for(10));
    std::string err = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    EXPECT_NE(err.find("Failed to start sweep: "), std::string::npos) << err;
    EXPECT_FALSE(sweep_active(ts.server().radio));
    EXPECT_EQ(ts.server().client_sweep.saved.chan_bw, 5);
    EXPECT_EQ(ts.server().client_sweep.saved.freq_shift, -3);
    EXPECT_EQ(ts.read("chan_bw"), "5");
    EXPECT_EQ(ts.read("freq_shift"), "-3");
    close(a);
}

TEST(ClientSweep, LeavingDuringAClientSweepWritesTheSavedSettingsBack)
{
    START_TEST_SERVER(ts);
    ASSERT_TRUE(ts.run_for(10));
    pretend_client_sweep(ts, SweepType::Active, 0);
    testing::internal::CaptureStderr();
    ts.teardown();
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(sweep_active(ts.server().radio));
    EXPECT_EQ(ts.read("chan_bw"), "5");
    EXPECT_EQ(ts.read("freq_shift"), "-3");
    EXPECT_EQ(ts.read("spectral_scan_ctl"), "disable");
}
