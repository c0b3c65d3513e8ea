// SPDX-License-Identifier: MIT
// The stop signals only set the flag and write their line; SIGPIPE must
// not end the process when a client vanishes.
#include "core/signals.h"

#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

TEST(Signals, StopSignalsSetTheFlagAndSayWhich)
{
    install_signal_handlers();
    stop_requested = 0;
    testing::internal::CaptureStderr();
    raise(SIGTERM);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(stop_requested, 1);
    EXPECT_EQ(err, "Caught signal: Terminated, exiting\n");
    stop_requested = 0;
    testing::internal::CaptureStderr();
    raise(SIGINT);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Caught signal: Interrupt, exiting\n");
    EXPECT_EQ(stop_requested, 1);
}

TEST(Signals, WritingToAVanishedPeerIsAnError)
{
    install_signal_handlers();
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    close(sv[1]);
    errno = 0;
    EXPECT_EQ(write(sv[0], "x", 1), -1); // plain write: SIGPIPE would end the test
    EXPECT_EQ(errno, EPIPE);
    close(sv[0]);
}
