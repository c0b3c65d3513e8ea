// SPDX-License-Identifier: MIT
// Connecting on a helper thread: the loop never waits for the call, gets the
// client, result and errno back once it returns, and may let go of a call
// that hangs (the thread then frees the client; the sanitizer build reports
// a leak otherwise).
#include "broker_connect.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace
{

std::atomic<bool> released{false};

// Stands for a name lookup that answers when the test says so.
int held_call(mosquitto * /*m*/, const ConnectTarget & /*t*/)
{
    while (!released.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    errno = ECONNREFUSED;
    return MOSQ_ERR_ERRNO;
}

} // namespace

TEST(BrokerConnect, TheLoopNeverWaitsAndGetsTheClientBackOrLetsGo)
{
    mosquitto_lib_init();
    ConnectJob job;
    mosquitto *sent = mosquitto_new(nullptr, true, nullptr);
    ASSERT_TRUE(connect_job_start(job, sent, {"broker.example", 1883, 30, 4096}, held_call));
    mosquitto *m = nullptr;
    int rc = 0, err = 0;
    EXPECT_FALSE(connect_job_take(job, &m, &rc, &err)) << "taken while the call hangs";
    released = true;
    for (int i = 0; i < 30000 && !connect_job_take(job, &m, &rc, &err); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(connect_job_pending(job));
    EXPECT_EQ(m, sent);
    EXPECT_EQ(rc, MOSQ_ERR_ERRNO);
    EXPECT_EQ(err, ECONNREFUSED);
    mosquitto_destroy(m);

    released = false;
    ASSERT_TRUE(connect_job_start(job, mosquitto_new(nullptr, true, nullptr),
                                  {"broker.example", 1883, 30, 0}, held_call));
    connect_job_abandon(job);
    EXPECT_FALSE(connect_job_pending(job));
    released = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the thread frees its client
}
