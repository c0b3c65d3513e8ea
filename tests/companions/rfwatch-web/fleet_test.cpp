// SPDX-License-Identifier: MIT
// rfwatch-web --mqtt against a real mosquitto broker: the radios published
// there reach the page as a list, each page gets only its chosen radio's
// frames (json and compact payloads alike), commands go to that radio's
// command topic, and a refused login says so.
#include "mosquitto_broker.h"
#include "mqtt_client.h"
#include "spectrum_line.h"
#include "subprocess.h"
#include "temp_dir.h"
#include "air_line_text.h"
#include "ws_client.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace
{

using wdtest::read_text_with;
using wdtest::WsClient;

constexpr int WAIT_MS = 20000; // generous: CI is a loaded machine with sanitizers

// A spectrum line as rfwatchd writes it, at freq MHz.
std::string spectrum_line(int freq, uint64_t timestamp)
{
    return wdtest::spectrum_line({0, freq, 20, -95, 40, timestamp, 5, {-90, -60.25, -91.5, NAN}});
}

// The same line in the compact form (doc/web.md, "Frames").
std::string compact_frame(int freq, uint64_t timestamp)
{
    std::string f(24 + 8, '\0');
    auto put = [&f](size_t at, uint64_t v, size_t n) {
        for (size_t i = 0; i < n; i++)
            f[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
    };
    put(0, 1, 1);
    put(2, static_cast<uint64_t>(freq), 2);
    put(4, 20, 2);
    put(6, static_cast<uint16_t>(int16_t{-95}), 2);
    put(8, 40, 2);
    put(10, 4, 2);
    put(12, 5, 4);
    put(16, timestamp, 8);
    const int16_t bins[] = {-9000, -6025, -9150, -32768};
    for (size_t i = 0; i < 4; i++)
        put(24 + 2 * i, static_cast<uint16_t>(bins[i]), 2);
    return f;
}

uint16_t frame_freq(const std::string &frame)
{
    return frame.size() >= 24 ? static_cast<uint16_t>(static_cast<uint8_t>(frame[2]) |
                                                      static_cast<uint8_t>(frame[3]) << 8)
                              : 0;
}

wdtest::MqttLogin login(const char *user, const char *password)
{
    wdtest::MqttLogin l;
    l.user = user;
    l.password = password;
    return l;
}

std::string status_json(bool online, bool daemon)
{
    return std::string(R"({"state":")") + (online ? "online" : "offline") + R"(","daemon":")" +
           (daemon ? "connected" : "unreachable") + R"(","lines":10,"dropped":0})";
}

class Fleet : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (!wdtest::mosquitto_available())
            GTEST_SKIP() << "SKIPPED: mosquitto is not installed (tools/setup installs it)";
        ASSERT_FALSE(dir.empty());
        wdtest::BrokerSetup setup;
        setup.users = {{"web", "web-secret"}, {"ap", "ap-secret"}};
        setup.tls = false;
        std::string why;
        ASSERT_TRUE(broker.prepare(dir, setup, &why)) << why;
        ASSERT_TRUE(broker.start(&why)) << why;
        std::ofstream(dir + "/web.pass") << "web-secret\n";
        std::ofstream(dir + "/wrong.pass") << "not-it\n";
        ASSERT_TRUE(ap.connect(broker.port(), login("ap", "ap-secret"), &why)) << why;
    }
    void TearDown() override
    {
        web.reset();
        ap.disconnect();
        broker.stop();
    }

    void start_web(const std::string &password_file, std::vector<std::string> extra = {},
                   const std::string &host = "127.0.0.1", const std::vector<std::string> &env = {})
    {
        std::vector<std::string> argv = {RFWATCH_WEB_BIN,
                                         "--mqtt",
                                         "mqtt://web@" + host + ":" + std::to_string(broker.port()),
                                         "--password-file",
                                         password_file,
                                         "-l",
                                         "127.0.0.1:0"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        web = std::make_unique<wdtest::Child>();
        ASSERT_TRUE(web->start(argv, env));
        port = wdtest::read_loopback_port(*web, WAIT_MS);
        ASSERT_GT(port, 0) << web->out() << web->err();
    }
    bool open_browser(WsClient &ws)
    {
        return ws.open(port, "/ws", {"Origin: http://127.0.0.1:" + std::to_string(port)});
    }
    // Reads radio entries until node's comes; its id.
    static bool wait_radio(WsClient &ws, const std::string &node, int &id)
    {
        std::string text;
        while (read_text_with(ws, WAIT_MS, R"("type":"radio")", &text))
            if (text.find("\"node\":\"" + node + "\"") != std::string::npos) {
                const size_t at = text.find("\"id\":");
                id = atoi(text.c_str() + at + 5);
                return true;
            }
        return false;
    }
    // Reads radio entries until both ap1's and ap2's came, in any order.
    static bool wait_radios(WsClient &ws, int &ap1, int &ap2)
    {
        std::string text;
        while ((ap1 < 0 || ap2 < 0) && read_text_with(ws, WAIT_MS, R"("type":"radio")", &text)) {
            const int id = atoi(text.c_str() + text.find("\"id\":") + 5);
            if (text.find(R"("node":"ap1")") != std::string::npos)
                ap1 = id;
            if (text.find(R"("node":"ap2")") != std::string::npos)
                ap2 = id;
        }
        return ap1 >= 0 && ap2 >= 0;
    }

    wdtest::TempDir temp{"rfwatch-web-fleet"};
    std::string dir = temp.path();
    wdtest::MosquittoBroker broker;
    wdtest::MqttClient ap; // plays every access point's rfwatch-mqtt
    std::unique_ptr<wdtest::Child> web;
    int port = 0;
};

} // namespace

TEST_F(Fleet, EachPageGetsItsChosenRadiosFramesAndSendsItsCommandsThere)
{
    ASSERT_TRUE(ap.publish("wifidiag/ap1/phy0/status", status_json(true, true), 1, true));
    ASSERT_TRUE(ap.publish("wifidiag/ap2/phy1/status", status_json(true, true), 1, true));
    start_web(dir + "/web.pass");

    WsClient ws;
    ASSERT_TRUE(open_browser(ws)) << ws.reply().status;
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"({"type":"fleet"})"));
    // The radio list comes from the retained statuses, in the broker's order.
    int ap1 = -1, ap2 = -1;
    ASSERT_TRUE(wait_radios(ws, ap1, ap2));
    EXPECT_NE(ap1, ap2);
    WsClient other; // a second page, on ap1
    ASSERT_TRUE(open_browser(other));
    ASSERT_TRUE(read_text_with(other, WAIT_MS, R"({"type":"fleet"})"));

    std::string text;
    ASSERT_TRUE(ws.send_text(R"({"type":"select","radio":)" + std::to_string(ap2) + "}"));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("type":"selected")", &text));
    EXPECT_EQ(text, R"({"type":"selected","radio":)" + std::to_string(ap2) + "}");
    ASSERT_TRUE(other.send_text(R"({"type":"select","radio":)" + std::to_string(ap1) + "}"));
    ASSERT_TRUE(read_text_with(other, WAIT_MS, R"("type":"selected")"));

    // Frames of both radios, json from one and compact from the other: each
    // page sees only its own radio's, in the frame form either way.
    for (uint64_t t = 1; t <= 3; t++) {
        ASSERT_TRUE(ap.publish("wifidiag/ap1/phy0/spectrum", spectrum_line(2437, t)));
        ASSERT_TRUE(ap.publish("wifidiag/ap2/phy1/spectrum", compact_frame(5180, t)));
    }
    for (WsClient *page : {&ws, &other}) {
        const uint16_t want = page == &ws ? 5180 : 2437;
        int frames = 0;
        WsClient::Message m;
        while (frames < 3 && page->read(m, WAIT_MS)) {
            if (!m.binary)
                continue;
            EXPECT_EQ(frame_freq(m.data), want) << "a frame of another radio reached this page";
            EXPECT_EQ(m.data, compact_frame(want, static_cast<uint64_t>(frames + 1)));
            frames++;
        }
        EXPECT_EQ(frames, 3);
    }

    // Air: the page showing ap2 gets ap2's air lines whole (and not one the
    // parse refuses); every page's entry of a radio carries its summary.
    wdtest::AirLineText air{};
    air.freq_mhz = 5180;
    air.channels = {{36, 5180, 0.5, 40}};
    air.signals = {{"wifi", 5180, 16.5, -40, 0.4}, {"continuous", 5175, 5, -50, 0.6}};
    const std::string air_ap2 = wdtest::air_line(air);
    air.channels[0].quality = 101; // beyond any quality
    ASSERT_TRUE(ap.publish("wifidiag/ap2/phy1/air", wdtest::air_line(air)));
    ASSERT_TRUE(ap.publish("wifidiag/ap2/phy1/air", air_ap2));
    const std::string summary =
        R"("air":{"quality":40,"signals":[{"class":"continuous","mhz":5175.0,"dbm":-50.0,"duty":0.600}]})";
    for (WsClient *page : {&ws, &other}) {
        bool air_seen = page != &ws, summary_seen = false;
        WsClient::Message m;
        while ((!air_seen || !summary_seen) && page->read(m, WAIT_MS)) {
            if (m.data.find(R"("type":"air")") != std::string::npos) {
                EXPECT_TRUE(page == &ws) << "air of a radio not shown";
                EXPECT_EQ(m.data, R"({"type":"air","line":)" + air_ap2 + "}");
                air_seen = true;
            }
            if (m.data.find(summary) != std::string::npos) {
                EXPECT_NE(m.data.find(R"("node":"ap2")"), std::string::npos) << m.data;
                summary_seen = true;
            }
        }
        EXPECT_TRUE(air_seen && summary_seen);
    }
    EXPECT_FALSE(read_text_with(other, 500, R"("type":"air")")) << "air of a radio not shown";

    // A command from the page arrives on the chosen radio's command topic as
    // rfwatchd's own JSON, and the page hears it was sent.
    wdtest::MqttClient listener;
    std::string why;
    ASSERT_TRUE(listener.connect(broker.port(), login("ap", "ap-secret"), &why)) << why;
    ASSERT_TRUE(listener.subscribe("wifidiag/+/+/command", 1));
    ASSERT_TRUE(ws.send_text(R"({"type":"sweep","from":2412,"to":2472})"));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("type":"sent")"));
    ASSERT_TRUE(listener.wait_for([](const auto &ms) { return !ms.empty(); }, WAIT_MS));
    const auto got = listener.messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].topic, "wifidiag/ap2/phy1/command");
    EXPECT_EQ(got[0].payload, R"({"command":2,"sweep_from":2412,"sweep_to":2472})");

    // A radio the server never named is refused, and the choice stays.
    ASSERT_TRUE(ws.send_text(R"({"type":"select","radio":999})"));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("type":"error")", &text));
    EXPECT_NE(text.find("select: radio"), std::string::npos) << text;
}

TEST_F(Fleet, StatusFollowsTheChosenRadioAndTopicsOutsideThePrefixAreIgnored)
{
    start_web(dir + "/web.pass");
    WsClient ws;
    ASSERT_TRUE(open_browser(ws));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"({"type":"fleet"})"));
    ASSERT_TRUE(ap.publish("other/apX/phy0/status", status_json(true, true)));
    ASSERT_TRUE(ap.publish("wifidiag/ap\"x/phy0/status", status_json(true, true)));
    ASSERT_TRUE(ap.publish("wifidiag/ap3/phy0/status", status_json(true, false)));
    int id = -1;
    ASSERT_TRUE(wait_radio(ws, "ap3", id));
    EXPECT_EQ(id, 0) << "a topic outside the prefix or with a bad name became a radio";
    ASSERT_TRUE(ws.send_text(R"({"type":"select","radio":0})"));
    std::string text;
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("type":"status")", &text));
    EXPECT_NE(text.find(R"("daemon":"unreachable")"), std::string::npos)
        << "bridge online, daemon gone: " << text;
    ASSERT_TRUE(ap.publish("wifidiag/ap3/phy0/status", status_json(true, true)));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("daemon":"connected")", &text)) << text;
    ASSERT_TRUE(ap.publish("wifidiag/ap3/phy0/status", status_json(false, false)));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("state":"offline")", &text));
}

TEST_F(Fleet, ARefusedLoginIsOneClearLineAndReadOnlySendsNothing)
{
    start_web(dir + "/wrong.pass", {"--read-only"});
    ASSERT_TRUE(web->read_until(
        [this](const std::string &) {
            return web->err().find("refused the login for user web") != std::string::npos;
        },
        WAIT_MS))
        << web->err();
    WsClient ws;
    ASSERT_TRUE(open_browser(ws));
    std::string text;
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("type":"status")", &text));
    EXPECT_NE(text.find("unreachable"), std::string::npos) << text;
    ASSERT_TRUE(ws.send_text(R"({"type":"cancel"})"));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("type":"error")", &text));
    EXPECT_NE(text.find("read-only"), std::string::npos) << text;
}

// The broker's name is looked up by a resolver that answers only once the
// test opens its gate: meanwhile the page is served and says the broker is
// not there; then the radios come through the broker of that name.
TEST_F(Fleet, ThePageIsServedWhileTheBrokersNameIsLookedUp)
{
    ASSERT_TRUE(ap.publish("wifidiag/ap1/phy0/status", status_json(true, true), 1, true));
    const std::string gate = dir + "/gate";
    const char *asan = getenv("ASAN_OPTIONS");
    // The preloaded resolver comes before the sanitizer's runtime.
    start_web(dir + "/web.pass", {}, "broker.gate.test",
              {"LD_PRELOAD=" SLOW_RESOLVE_LIB, "WD_RESOLVE_GATE=" + gate,
               std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                   "verify_asan_link_order=0"});
    const auto page = wdtest::http_get(port, "/");
    EXPECT_EQ(page.status, 200);
    WsClient ws;
    ASSERT_TRUE(open_browser(ws));
    std::string text;
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("type":"status")", &text));
    EXPECT_NE(text.find("unreachable"), std::string::npos) << text;

    std::ofstream(gate) << "open\n";
    int id = -1;
    ASSERT_TRUE(wait_radio(ws, "ap1", id)) << web->err();
}

// A message far larger than any spectrum is dropped by the broker for this
// client (MQTT 5's maximum packet size): it never reaches the program, whose
// memory stays put, and the next message does.
TEST_F(Fleet, AHugeMessageIsNotDeliveredAndTheLinkStays)
{
    start_web(dir + "/web.pass");
    WsClient ws;
    ASSERT_TRUE(open_browser(ws));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"({"type":"fleet"})"));
    const long before_kib = wdtest::peak_rss_kib(web->pid());
    constexpr size_t HUGE_BYTES = 20 << 20;
    ASSERT_TRUE(ap.publish("wifidiag/huge/phy0/spectrum", std::string(HUGE_BYTES, '{'), 1));
    ASSERT_TRUE(ap.publish("wifidiag/ap5/phy0/status", status_json(true, true), 1));
    std::string text;
    while (read_text_with(ws, WAIT_MS, R"("type":"radio")", &text)) {
        ASSERT_EQ(text.find(R"("node":"huge")"), std::string::npos) << "delivered: " << text;
        if (text.find(R"("node":"ap5")") != std::string::npos)
            break;
    }
    EXPECT_NE(text.find(R"("node":"ap5")"), std::string::npos) << web->err();
    const long after_kib = wdtest::peak_rss_kib(web->pid());
    EXPECT_LT(after_kib - before_kib, static_cast<long>(HUGE_BYTES / 1024 / 2))
        << "peak RSS " << before_kib << " KiB -> " << after_kib << " KiB";
}

TEST(FleetUsage, MqttOptionsAreCheckedBeforeAnythingStarts)
{
    struct Case {
        std::vector<std::string> args;
        const char *says;
    };
    const Case cases[] = {
        {{"--mqtt", "http://host"}, "mqtt://"},
        {{"--mqtt", "mqtt://u:pw@host"}, "--password-file"},
        {{"--mqtt", "mqtt://host", "-s", "x.sock"}, "exclude"},
        {{"--mqtt", "mqtt://host", "--prefix", "a/+/b"}, "--prefix"},
        {{"--prefix", "site"}, "go with --mqtt"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> argv = {RFWATCH_WEB_BIN};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        auto r = wdtest::run(argv);
        EXPECT_EQ(r.status, 2) << c.args[1];
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    auto missing = wdtest::run(
        {RFWATCH_WEB_BIN, "--mqtt", "mqtt://u@host", "--password-file", "/nonexistent/pass"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("/nonexistent/pass"), std::string::npos) << missing.err;
}
