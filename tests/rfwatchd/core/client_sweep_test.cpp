// SPDX-License-Identifier: MIT
// A client sweep's driver settings: saved once, held while the sweep's
// zeros are in the driver, and written back exactly once, whether the sweep
// ends by cancellation, by its duration or with the daemon. Active sweeps
// cannot tune here (no wireless phy), so a sweep "running" is set up by
// hand: settings held, zeros in the driver files, and an agile sweep (which
// needs only control files) standing in for the active one.
#include "core/client_sweep.h"
#include "core/clients.h"
#include "radio/sweep.h"
#include "radio/sweep_timing.h"
#include "test_server.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

using namespace coretest;

namespace
{

size_t count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
        n++;
    return n;
}

struct Console {
    std::string out, err;
};

// A set-up server on the test clock; a test adds the client it sends
// commands from, and the sweep it finds running, as it needs them.
class ClientSweep : public testing::Test
{
  protected:
    void SetUp() override
    {
        if (!ts.skip_reason().empty())
            GTEST_SKIP() << "SKIPPED: " << ts.skip_reason();
        ASSERT_TRUE(ts.ok());
    }
    void TearDown() override
    {
        if (client >= 0)
            close(client);
    }

    // Connects the test's client and runs until the daemon has accepted it.
    void connect()
    {
        client = ts.connect_client();
        ASSERT_GE(client, 0);
        ASSERT_TRUE(ts.run_for(10));
        ASSERT_NE(first_client(ts.server()), nullptr);
    }
    int client_number() { return first_client(ts.server())->socket; }

    // The state a running client sweep leaves: the real values (5, -3)
    // saved and held, the driver zeroed.
    void pretend_client_sweep(SweepType type, uint32_t duration_s)
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

    // Sends a command and runs the passes that carry it out.
    void command(const std::string &text)
    {
        send_text(client, text);
        ASSERT_TRUE(ts.run_for(10));
    }

    static void capture_console()
    {
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
    }
    static Console captured_console()
    {
        Console c;
        c.err = testing::internal::GetCapturedStderr();
        c.out = testing::internal::GetCapturedStdout();
        return c;
    }

    TestServer ts;
    int client = -1;
};

} // namespace

TEST_F(ClientSweep, ACancellationWithNothingSavedWritesNothing)
{
    connect();
    int num = client_number();
    capture_console();
    command(R"({"command":3})");
    Console console = captured_console();
    EXPECT_EQ(console.out, "Sweep cancellation for client " + std::to_string(num) + "\n");
    EXPECT_EQ(console.err.find("Setting chan_bw"), std::string::npos) << console.err;
    EXPECT_EQ(ts.read("chan_bw"), "5");
    EXPECT_EQ(ts.read("freq_shift"), "-3");
}

TEST_F(ClientSweep, ACancellationWritesTheSavedSettingsBackOnce)
{
    connect();
    pretend_client_sweep(SweepType::Active, 0);
    capture_console();
    command(R"({"command":3})");
    EXPECT_EQ(ts.read("chan_bw"), "5");
    EXPECT_EQ(ts.read("freq_shift"), "-3");
    EXPECT_EQ(ts.server().client_sweep.held, 0);
    EXPECT_FALSE(sweep_active(ts.server().radio));
    // A second cancellation finds nothing held: the driver's values stay.
    ts.write("chan_bw", "7");
    command(R"({"command":3})");
    Console console = captured_console();
    EXPECT_EQ(count(console.out, "Sweep cancellation for client "), 2u) << console.out;
    EXPECT_EQ(count(console.err, "Setting chan_bw to: 5\n"), 1u) << console.err;
    EXPECT_EQ(ts.read("chan_bw"), "7");
}

TEST_F(ClientSweep, ASweepEndedByItsDurationWritesTheSavedSettingsBack)
{
    ts.set_samples(reports_at({2437}));
    ASSERT_TRUE(ts.run_for(10));
    pretend_client_sweep(SweepType::Agile, 1);
    capture_console();
    ASSERT_TRUE(ts.run_for(static_cast<int>(1000 - PASS_MS)));
    EXPECT_EQ(ts.read("chan_bw"), "0"); // still sweeping
    ASSERT_TRUE(ts.pass());
    Console console = captured_console();
    EXPECT_NE(console.err.find("Sweep timeout, restoring config\n"), std::string::npos)
        << console.err;
    EXPECT_EQ(ts.read("chan_bw"), "5");
    EXPECT_EQ(ts.read("freq_shift"), "-3");
    EXPECT_EQ(ts.server().client_sweep.held, 0);
}

TEST_F(ClientSweep, ANewStartDuringAClientSweepKeepsTheSavedSettings)
{
    connect();
    pretend_client_sweep(SweepType::Active, 0);
    capture_console();
    // Refused before the running sweep is touched (dwell too long): that
    // sweep goes on, and the driver keeps its zeros.
    command(R"({"command":2,"sweep_from":2400,"sweep_to":2500,"dwell_time_ms":60001})");
    EXPECT_TRUE(sweep_type_is(ts.server().radio, SweepType::Active));
    EXPECT_EQ(ts.read("chan_bw"), "0");
    EXPECT_EQ(ts.server().client_sweep.held, 1);
    // Accepted, it replaces the running sweep; here it then fails to tune,
    // so no sweep is left and the real values, not the zeros, come back.
    command(R"({"command":2,"sweep_from":2400,"sweep_to":2500})");
    Console console = captured_console();
    EXPECT_NE(console.err.find("Failed to start sweep: "), std::string::npos) << console.err;
    EXPECT_FALSE(sweep_active(ts.server().radio));
    EXPECT_EQ(ts.server().client_sweep.saved.chan_bw, 5);
    EXPECT_EQ(ts.server().client_sweep.saved.freq_shift, -3);
    EXPECT_EQ(ts.read("chan_bw"), "5");
    EXPECT_EQ(ts.read("freq_shift"), "-3");
}

TEST_F(ClientSweep, LeavingDuringAClientSweepWritesTheSavedSettingsBack)
{
    ASSERT_TRUE(ts.run_for(10));
    pretend_client_sweep(SweepType::Active, 0);
    capture_console();
    ts.teardown();
    captured_console();
    EXPECT_FALSE(sweep_active(ts.server().radio));
    EXPECT_EQ(ts.read("chan_bw"), "5");
    EXPECT_EQ(ts.read("freq_shift"), "-3");
    EXPECT_EQ(ts.read("spectral_scan_ctl"), "disable");
}

TEST_F(ClientSweep, ZerosThatCannotAllBeWrittenAreTakenBack)
{
    connect();
    // freq_shift reads (as 0) but refuses every write: the sweep's zeros
    // reach chan_bw only.
    ASSERT_EQ(unlink(ts.file("freq_shift").c_str()), 0);
    ASSERT_EQ(symlink("/dev/full", ts.file("freq_shift").c_str()), 0);
    capture_console();
    command(R"({"command":2,"sweep_from":2400,"sweep_to":2500})");
    Console console = captured_console();
    EXPECT_NE(console.err.find("Error setting up driver for sweep: "), std::string::npos)
        << console.err;
    EXPECT_FALSE(sweep_active(ts.server().radio));
    EXPECT_EQ(ts.read("chan_bw"), "5");
}
