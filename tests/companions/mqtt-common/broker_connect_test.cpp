// Connecting on a helper thread: the caller never waits for the connect
// call, gets the client and the result back once it returns, and may let go
// of a call that hangs (the thread then frees the client: the sanitizer
// build reports a leak otherwise). The CONNACK readings differ per version.
#include "broker_connect.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mqtt_protocol.h>
#include <thread>

namespace
{

std::atomic<bool> released{false};
std::atomic<int> calls{0};

// Stands for a name lookup that answers when the test says so.
int held_call(mosquitto * /*m*/, const ConnectTarget &t)
{
    calls++;
    while (!released.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    errno = ECONNREFUSED;
    return t.port == 1 ? MOSQ_ERR_ERRNO : MOSQ_ERR_SUCCESS;
}

bool take_within(ConnectJob &j, mosquitto **m, int *rc, int *err)
{
    for (int i = 0; i < 30000; i++) {
        if (connect_job_take(j, m, rc, err))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

} // namespace

TEST(BrokerConnect, TheLoopNeverWaitsAndGetsTheClientBackOrLetsGo)
{
    mosquitto_lib_init();
    for (const int port : {1883, 1}) {
        released = false;
        ConnectJob job;
        mosquitto *sent = mosquitto_new(nullptr, true, nullptr);
        ASSERT_TRUE(connect_job_start(job, sent, {"broker.example", port, 30, 4096}, held_call));
        mosquitto *m = nullptr;
        int rc = -1, err = 0;
        EXPECT_TRUE(connect_job_pending(job));
        EXPECT_FALSE(connect_job_take(job, &m, &rc, &err)) << "taken while the call hangs";
        released = true;
        ASSERT_TRUE(take_within(job, &m, &rc, &err));
        EXPECT_FALSE(connect_job_pending(job));
        EXPECT_EQ(m, sent);
        EXPECT_EQ(rc, port == 1 ? MOSQ_ERR_ERRNO : MOSQ_ERR_SUCCESS);
        EXPECT_EQ(err, ECONNREFUSED) << "the call's errno comes back with it";
        mosquitto_destroy(m);
    }
    // Let go while the call hangs, and while a finished one waits.
    for (const bool finished : {false, true}) {
        released = finished;
        const int before = calls;
        ConnectJob job;
        ASSERT_TRUE(connect_job_start(job, mosquitto_new(nullptr, true, nullptr),
                                      {"broker.example", 1883, 30, 0}, held_call));
        while (finished && calls == before)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        connect_job_abandon(job);
        EXPECT_FALSE(connect_job_pending(job));
        released = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the thread frees its client
}

TEST(BrokerConnect, ConnackCodesAreReadPerVersion)
{
    struct Case {
        bool v5;
        int code;
        bool login, version;
    };
    const Case cases[] = {
        {false, 4, true, false},
        {false, 5, true, false},
        {false, 1, false, false}, // already 3.1.1: nothing to fall back to
        {false, 3, false, false},
        {true, MQTT_RC_BAD_USERNAME_OR_PASSWORD, true, false},
        {true, MQTT_RC_NOT_AUTHORIZED, true, false},
        {true, MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION, false, true},
        {true, 1, false, true}, // a 3.1.1 broker's own code
        {true, MQTT_RC_SERVER_UNAVAILABLE, false, false},
        {true, 4, false, false}, // not a version 5 login code
    };
    for (const Case &c : cases) {
        EXPECT_EQ(connack_refused_login(c.v5, c.code), c.login) << c.v5 << " " << c.code;
        EXPECT_EQ(connack_refused_version(c.v5, c.code), c.version) << c.v5 << " " << c.code;
        EXPECT_STRNE(connack_reason(c.v5, c.code), "") << c.code;
    }
    EXPECT_STRNE(connack_reason(true, MQTT_RC_NOT_AUTHORIZED), connack_reason(false, 5));
}
