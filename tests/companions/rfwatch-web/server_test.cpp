// SPDX-License-Identifier: MIT
// The real rfwatch-web on loopback, against a stand-in rfwatchd socket and
// plain HTTP / WebSocket clients.
#include "fake_rfwatchd.h"
#include "page_command.h"
#include "spectrum_line.h"
#include "subprocess.h"
#include "temp_dir.h"
#include "air_line_text.h"
#include "ws_client.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace
{

using wdtest::read_text_with;
using wdtest::WsClient;

constexpr int WAIT_MS = 20000; // generous: CI is a loaded machine with sanitizers

// A line as rfwatchd writes it; timestamp tells the frames apart.
std::string spectrum_line(uint64_t timestamp, size_t bins, bool with_null = false)
{
    std::vector<double> values = wdtest::ramp_bins(bins);
    if (with_null)
        values.at(1) = NAN;
    return wdtest::spectrum_line({1, 5180, 20, -95, 40, timestamp, 5, values}) + "\n";
}

template <typename T> T le(const std::string &d, size_t at)
{
    T v{};
    memcpy(&v, d.data() + at, sizeof v); // the test machines are little-endian
    return v;
}

void expect_frame_of_line(const std::string &frame, uint64_t timestamp, size_t bins, bool with_null)
{
    ASSERT_EQ(frame.size(), 24 + 2 * bins);
    EXPECT_EQ(le<uint8_t>(frame, 0), 1);
    EXPECT_EQ(le<uint8_t>(frame, 1), 1);
    EXPECT_EQ(le<uint16_t>(frame, 2), 5180);
    EXPECT_EQ(le<uint16_t>(frame, 4), 20);
    EXPECT_EQ(le<int16_t>(frame, 6), -95);
    EXPECT_EQ(le<uint16_t>(frame, 8), 40);
    EXPECT_EQ(le<uint16_t>(frame, 10), bins);
    EXPECT_EQ(le<uint32_t>(frame, 12), 5u);
    EXPECT_EQ(le<uint64_t>(frame, 16), timestamp);
    for (size_t i = 0; i < bins; i++) {
        const int16_t want =
            with_null && i == 1
                ? int16_t{-32768}
                : static_cast<int16_t>(std::lround((-95.12 + static_cast<double>(i) * 0.25) * 100));
        EXPECT_EQ(le<int16_t>(frame, 24 + 2 * i), want) << "bin " << i;
    }
}

uint64_t frame_timestamp(const WsClient::Message &m)
{
    return m.binary && m.data.size() >= 24 ? le<uint64_t>(m.data, 16) : 0;
}

bool read_frame(WsClient &ws, WsClient::Message &m)
{
    while (ws.read(m, WAIT_MS))
        if (m.binary)
            return true;
    return false;
}

class RfwatchWeb : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_FALSE(dir.empty()); }
    void TearDown() override
    {
        web.reset();
        daemon.stop();
    }

    // Starts rfwatch-web on a free loopback port and learns the port.
    void start_web(std::vector<std::string> extra = {})
    {
        std::vector<std::string> argv = {RFWATCH_WEB_BIN, "-s", socket_path, "-l", "127.0.0.1:0"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        web = std::make_unique<wdtest::Child>();
        ASSERT_TRUE(web->start(argv));
        port = wdtest::read_loopback_port(*web, WAIT_MS);
        ASSERT_GT(port, 0) << web->out() << web->err();
    }
    void start_daemon_and_web(std::vector<std::string> extra = {})
    {
        ASSERT_TRUE(daemon.start(socket_path));
        start_web(std::move(extra));
        ASSERT_TRUE(daemon.wait_clients(1, WAIT_MS));
    }
    bool open_browser(WsClient &ws, int rcvbuf = 0)
    {
        return ws.open(port, "/ws", {"Origin: http://127.0.0.1:" + std::to_string(port)}, rcvbuf);
    }

    wdtest::TempDir temp{"rfwatch-web-test"};
    std::string dir = temp.path();
    std::string socket_path = dir + "/rfwatchd.sock";
    wdtest::FakeRfwatchd daemon;
    std::unique_ptr<wdtest::Child> web;
    int port = 0;
};

} // namespace

TEST(RfwatchWebUsage, OptionsAndExitStatuses)
{
    auto help = wdtest::run({RFWATCH_WEB_BIN, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--token-file"), std::string::npos);
    EXPECT_EQ(wdtest::run({RFWATCH_WEB_BIN, "--bogus"}).status, 2);
    EXPECT_EQ(wdtest::run({RFWATCH_WEB_BIN, "-l", "127.0.0.1:99999"}).status, 2);
    EXPECT_EQ(wdtest::run({RFWATCH_WEB_BIN, "--no-auth", "--token-file", "/tmp/x"}).status, 2);
    // Beyond loopback without a token would let anyone on the network in.
    auto open = wdtest::run({RFWATCH_WEB_BIN, "-l", "0.0.0.0:0"});
    EXPECT_EQ(open.status, 2);
    EXPECT_NE(open.err.find("--token-file"), std::string::npos);
}

TEST_F(RfwatchWeb, CannotListenOnAPortInUseExitsWithOne)
{
    start_web();
    auto second = wdtest::run(
        {RFWATCH_WEB_BIN, "-s", socket_path, "-l", "127.0.0.1:" + std::to_string(port)});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("cannot listen"), std::string::npos) << second.err;
}

// The local addresses (as /proc/net writes them) listening on a TCP port.
std::vector<std::string> listening_on(int port)
{
    std::vector<std::string> found;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line); // header
        while (std::getline(in, line)) {
            char local[64] = {}, remote[64] = {};
            unsigned state = 0;
            if (sscanf(line.c_str(), "%*d: %63s %63s %x", local, remote, &state) != 3 ||
                state != 0x0A)
                continue;
            const char *colon = strrchr(local, ':');
            if (colon && strtol(colon + 1, nullptr, 16) == port)
                found.emplace_back(local, static_cast<size_t>(colon - local));
        }
    }
    return found;
}

TEST_F(RfwatchWeb, ALoopbackAddressIsTheOnlyOneListenedOn)
{
    // Bound on every address, the page would be open to the network without
    // a token, since loopback needs none.
    start_web();
    EXPECT_EQ(listening_on(port), std::vector<std::string>{"0100007F"});
}

TEST_F(RfwatchWeb, FramesCarryTheLinesAndBadLinesAreCounted)
{
    start_daemon_and_web();
    WsClient ws;
    ASSERT_TRUE(open_browser(ws));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("daemon":"connected")"));
    const std::string first = spectrum_line(1, 64, true);
    ASSERT_TRUE(daemon.send(first));
    ASSERT_TRUE(daemon.send("not json\n" + std::string(20000, 'x') + "\n"));
    ASSERT_TRUE(daemon.send(spectrum_line(2, 512).substr(0, 100))); // split over two writes
    ASSERT_TRUE(daemon.send(spectrum_line(2, 512).substr(100)));
    WsClient::Message m;
    ASSERT_TRUE(read_frame(ws, m));
    expect_frame_of_line(m.data, 1, 64, true);
    EXPECT_LE(m.data.size() * 3, first.size());
    ASSERT_TRUE(read_frame(ws, m));
    expect_frame_of_line(m.data, 2, 512, false);
    // A browser that comes later learns the counts.
    WsClient late;
    ASSERT_TRUE(open_browser(late));
    std::string status;
    ASSERT_TRUE(read_text_with(late, WAIT_MS, R"("type":"status")", &status));
    EXPECT_EQ(status, R"({"type":"status","daemon":"connected","lines":4,"dropped":2})");
}

TEST_F(RfwatchWeb, CommandsReachTheDaemonNewlineFramedInOrder)
{
    start_daemon_and_web();
    WsClient ws;
    ASSERT_TRUE(open_browser(ws));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("type":"status")"));
    const std::vector<std::string> sent = {
        R"({"type":"period","ms":250})",
        R"({"type":"sweep","from":2412,"to":2472,"duration":0,"dwell":50})",
        R"({"type":"cancel"})"};
    for (const std::string &s : sent)
        ASSERT_TRUE(ws.send_text(s));
    ASSERT_TRUE(ws.send_text(R"({"type":"period","ms":0})"));
    ASSERT_TRUE(ws.send_text(R"({"type":"air","air":0})")); // would stop every page's air
    int echoes = 0, errors = 0;
    WsClient::Message m;
    while ((echoes < 3 || errors < 2) && ws.read(m, WAIT_MS)) {
        echoes += m.data.find(R"("type":"sent")") != std::string::npos;
        errors += m.data.find(R"("type":"error")") != std::string::npos;
    }
    EXPECT_EQ(echoes, 3);
    EXPECT_EQ(errors, 2);
    // Each ended by a line feed, in order, however the reads split them,
    // after the air lines asked for on connecting.
    std::string want = R"({"command":4,"air_period_ms":1000})"
                       "\n",
                got;
    for (const std::string &s : sent) {
        std::string json, error;
        ASSERT_EQ(page_command_to_json(s, json, error), PageCommandResult::Ok);
        want += json + "\n";
    }
    for (size_t n = 1; got.size() < want.size() && daemon.wait_reads(n, WAIT_MS); n++) {
        got.clear();
        for (const auto &r : daemon.reads())
            got += r.bytes;
    }
    EXPECT_EQ(got, want);
}

TEST_F(RfwatchWeb, AirLinesTheParseTakesReachTheBrowserWholeAndNoOthers)
{
    start_daemon_and_web();
    WsClient ws;
    ASSERT_TRUE(open_browser(ws));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("daemon":"connected")"));
    auto line = [](int freq, int quality, std::string cls = "microwave") {
        wdtest::AirLineText t;
        t.freq_mhz = freq;
        t.channels = {{1, freq, 0.25, quality}};
        t.signals = {{std::move(cls), 2450, 10, -50, 0.5, 0.9, 1, 10, 20}};
        return wdtest::air_line(t);
    };
    const std::string full = line(2412, 50);
    // (line, forwarded): each good one of its own frequency, so none
    // replaces another in the browser's queue.
    const std::vector<std::pair<std::string, bool>> cases = {
        {line(2417, 50), true},
        {line(2422, 101), false},                 // quality beyond 100
        {full.substr(0, full.size() - 1), false}, // cut short
        {full + "x", false},                      // text after the object
        {line(2427, 50, "micro\xffwave"), false}, // not UTF-8
        {line(5180, 0, "something-new"), true},   // a class this page does not know yet
        {line(2432, 7), true},
    };
    std::vector<std::string> want;
    size_t bad = 0;
    for (const auto &[text, forwarded] : cases) {
        ASSERT_TRUE(daemon.send(text + "\n"));
        if (forwarded)
            want.push_back(R"({"type":"air","line":)" + text + "}");
        bad += !forwarded;
    }
    std::vector<std::string> got;
    WsClient::Message m;
    while (got.size() < want.size() && ws.read(m, WAIT_MS))
        if (!m.binary && m.data.find(R"("type":"air")") != std::string::npos)
            got.push_back(m.data);
    EXPECT_EQ(got, want);
    WsClient late; // the refused ones count as dropped lines
    ASSERT_TRUE(open_browser(late));
    std::string status;
    ASSERT_TRUE(read_text_with(late, WAIT_MS, R"("type":"status")", &status));
    EXPECT_NE(status.find(R"("dropped":)" + std::to_string(bad)), std::string::npos) << status;
}

TEST_F(RfwatchWeb, ReadOnlyRefusesEveryCommand)
{
    start_daemon_and_web({"--read-only"});
    WsClient ws;
    ASSERT_TRUE(open_browser(ws));
    ASSERT_TRUE(ws.send_text(R"({"type":"cancel"})"));
    std::string error;
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("type":"error")", &error));
    EXPECT_NE(error.find("read-only"), std::string::npos);
    // Only the server's own request for air lines, which changes nothing
    // for the daemon's other clients.
    ASSERT_TRUE(daemon.wait_commands(1, WAIT_MS));
    EXPECT_EQ(daemon.commands(), std::vector<std::string>{R"({"command":4,"air_period_ms":1000})"});
}

// Who may ask: the Host a request names (DNS rebinding), the token in the
// address (answered with the cookie and a redirect that drops it) or the
// cookie, wrong guesses slowed, idle sockets bounded per peer and timed out,
// a browser that stops answering pings dropped.
TEST_F(RfwatchWeb, HostTokenAndConnectionChecks)
{
    const std::string token_file = dir + "/token";
    start_web({"--token-file", token_file, "--allow-host", "ap.example", "--browser-timeout", "2"});
    std::string token;
    std::ifstream(token_file) >> token;
    ASSERT_EQ(token.size(), 32u);
    const std::string here = "Host: 127.0.0.1:" + std::to_string(port);
    const std::string cookie = "Cookie: a=b; rfwatch_token=" + token;
    const std::string cookie_set = "rfwatch_token=" + token + "; HttpOnly; SameSite=Strict; Path=/";
    struct Case {
        std::string path;
        std::vector<std::string> headers;
        int status;
        std::string in_headers; // "": not checked
    };
    const Case cases[] = {
        {"/", {"Host: evil.example:" + std::to_string(port), cookie}, 421, ""},
        {"/", {"Host: evil.example", cookie}, 421, ""},
        {"/?token=" + token, {"Host: evil.example:" + std::to_string(port)}, 421, ""},
        {"/", {"Host: 127.0.0.1:1", cookie}, 421, ""},
        {"/", {"Host: localhost:" + std::to_string(port), cookie}, 200, ""},
        {"/", {"Host: ap.example:1234", cookie}, 200, ""},
        {"/", {here}, 401, ""},
        {"/?token=" + token, {here}, 303, "\r\nlocation: /\r\n"},
        {"/?token=" + token, {here}, 303, cookie_set},
        {"/?token=" + token, {here}, 303, "x-content-type-options: nosniff"},
        {"/app.js?a=b%20c&token=" + token, {here}, 303, "\r\nlocation: /app.js?a=b%20c\r\n"},
        // Never "//host": that would send the browser to another site.
        {"//evil.example/?token=" + token, {here}, 303, "\r\nlocation: /evil.example/\r\n"},
        {"/", {here, cookie}, 200, "content-security-policy"},
        {"/", {here, "Cookie: rfwatch_token=\"" + token + "\""}, 200, ""},
    };
    for (const Case &c : cases) {
        const auto r = wdtest::http_get(port, c.path, c.headers);
        EXPECT_EQ(r.status, c.status) << c.path << " " << c.headers[0];
        std::string lower = r.headers;
        for (char &ch : lower)
            ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        if (!c.in_headers.empty()) {
            std::string want = c.in_headers;
            for (char &ch : want)
                ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
            EXPECT_NE(lower.find(want), std::string::npos) << c.path << r.headers;
        }
    }
    // Upgrades alike.
    const std::string origin = "Origin: http://127.0.0.1:" + std::to_string(port);
    WsClient ws;
    EXPECT_FALSE(ws.open(port, "/ws",
                         {"Host: evil.example:" + std::to_string(port),
                          "Origin: http://evil.example:" + std::to_string(port), cookie}));
    EXPECT_EQ(ws.reply().status, 421);
    EXPECT_FALSE(ws.open(port, "/ws", {origin}));
    EXPECT_EQ(ws.reply().status, 401);

    // A browser that never answers a ping is dropped after --browser-timeout.
    ASSERT_TRUE(ws.open(port, "/ws", {origin, cookie}));
    const auto opened = std::chrono::steady_clock::now();
    WsClient::Message m;
    while (ws.read(m, WAIT_MS)) {
    }
    EXPECT_LT(std::chrono::steady_clock::now() - opened, std::chrono::milliseconds(WAIT_MS - 2000));

    // Idle sockets: a few per peer are held until the request deadline, the
    // rest closed at once; another peer is served meanwhile.
    std::vector<int> idle;
    for (size_t i = 0; i < 60; i++) {
        idle.push_back(wdtest::tcp_connect_loopback(port, "127.0.0.2"));
        ASSERT_GE(idle.back(), 0);
    }
    EXPECT_EQ(wdtest::http_get(port, "/", {cookie}).status, 200);
    size_t closed_at_once = 0;
    for (const int fd : idle)
        closed_at_once += wdtest::closed_by_server(fd, 0) ? 1 : 0;
    EXPECT_EQ(closed_at_once, 60 - 48u); // MAX_CONNECTIONS_PER_PEER
    for (const int fd : idle) {
        EXPECT_TRUE(wdtest::closed_by_server(fd, WAIT_MS));
        close(fd);
    }

    // Wrong guesses: a few are free, then the peer waits (the right token
    // too), then is let in again.
    int wrong_refused = 0;
    for (int i = 0; i < 4; i++)
        wrong_refused += wdtest::http_get(port, "/?token=" + std::string(32, '0')).status == 401;
    EXPECT_EQ(wrong_refused, 4);
    EXPECT_EQ(wdtest::http_get(port, "/", {cookie}).status, 429);
    EXPECT_FALSE(ws.open(port, "/ws", {origin, cookie}));
    EXPECT_EQ(ws.reply().status, 429);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_MS);
    int status = 0;
    while ((status = wdtest::http_get(port, "/", {cookie}).status) == 429 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(status, 200);
}

TEST_F(RfwatchWeb, ATokenFileOthersCanReadOrTooShortIsRefused)
{
    const std::string token_file = dir + "/token";
    for (const auto &[content, mode, why] :
         {std::tuple{std::string(32, 'a'), 0644, "mode 0644"}, {"a", 0600, "too short"}}) {
        std::ofstream(token_file) << content;
        ASSERT_EQ(chmod(token_file.c_str(), static_cast<mode_t>(mode)), 0);
        auto r = wdtest::run({RFWATCH_WEB_BIN, "-l", "127.0.0.1:0", "--token-file", token_file});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    }
}

TEST_F(RfwatchWeb, ServesThePageAndRefusesForeignOriginsAndOtherPaths)
{
    start_web();
    auto page = wdtest::http_get(port, "/");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("<html"), std::string::npos);
    EXPECT_EQ(wdtest::http_get(port, "/no-such-file").status, 404);
    WsClient ws;
    EXPECT_FALSE(ws.open(port, "/ws", {"Origin: http://evil.example"}));
    EXPECT_EQ(ws.reply().status, 403);
    EXPECT_FALSE(ws.open(port, "/ws", {"Origin: http://127.0.0.1:1"}));
    EXPECT_EQ(ws.reply().status, 403);
    EXPECT_FALSE(ws.open(port, "/other"));
    EXPECT_TRUE(open_browser(ws));
}

std::string gunzip(const std::string &gz)
{
    std::string out(1 << 20, '\0');
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        return "(inflateInit2 failed)";
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(gz.data()));
    z.avail_in = static_cast<uInt>(gz.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return rc == Z_STREAM_END && z.avail_in == 0 ? out : "(not one whole gzip stream)";
}

// Each file of the page is served as it is in the source tree: gzip-encoded
// when the request takes gzip (the file is then sent as stored), else plain.
TEST_F(RfwatchWeb, ServesThePageCompressedWhenTheClientTakesGzip)
{
    start_web();
    const struct {
        const char *accept; // nullptr: no Accept-Encoding header
        bool gzip;
    } cases[] = {{nullptr, false},
                 {"gzip", true},
                 {"br, GZIP;q=0.5", true},
                 {"*", true},
                 {"deflate, gzip;q=0", false},
                 {"*, gzip;q=0.0", false},
                 {"identity", false}};
    const struct {
        const char *path, *file, *mime;
    } files[] = {{"/", "index.html", "text/html; charset=utf-8"},
                 {"/model.js", "model.js", "text/javascript; charset=utf-8"}}; // > 1 body chunk
    for (const auto &f : files) {
        std::ifstream in(std::string(RFWATCH_WEB_PAGE_DIR "/") + f.file, std::ios::binary);
        const std::string want{std::istreambuf_iterator<char>(in), {}};
        ASSERT_GT(want.size(), 0u) << f.file;
        for (const auto &c : cases) {
            std::vector<std::string> headers;
            if (c.accept != nullptr)
                headers.push_back(std::string("Accept-Encoding: ") + c.accept);
            const auto r = wdtest::http_get(port, f.path, headers);
            const std::string what =
                std::string(f.path) + " with " + (c.accept ? c.accept : "none");
            ASSERT_EQ(r.status, 200) << what;
            EXPECT_NE(r.headers.find(std::string("content-type: ") + f.mime), std::string::npos)
                << what << r.headers;
            EXPECT_NE(r.headers.find("cache-control: no-store"), std::string::npos) << what;
            EXPECT_EQ(r.headers.find("content-encoding: gzip") != std::string::npos, c.gzip)
                << what;
            EXPECT_EQ(c.gzip ? gunzip(r.body) : r.body, want) << what;
            if (c.gzip) {
                EXPECT_LT(r.body.size(), want.size() / 2) << what;
            }
        }
    }
}

TEST_F(RfwatchWeb, TheSeventeenthBrowserIsRefusedWithAClearMessage)
{
    start_web();
    std::vector<std::unique_ptr<WsClient>> browsers;
    for (int i = 0; i < 16; i++) {
        browsers.push_back(std::make_unique<WsClient>());
        ASSERT_TRUE(open_browser(*browsers.back())) << "browser " << i + 1;
    }
    WsClient extra;
    EXPECT_FALSE(open_browser(extra));
    EXPECT_EQ(extra.reply().status, 503);
    EXPECT_NE(extra.reply().body.find("at most 16 browsers"), std::string::npos);
    // A place freed is a place taken again.
    browsers.pop_back();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_MS);
    bool opened = false;
    while (!opened && std::chrono::steady_clock::now() < deadline) {
        opened = open_browser(extra);
        if (!opened)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(opened);
}

TEST_F(RfwatchWeb, AStalledBrowserLosesOldFramesAndHoldsUpNoOne)
{
    start_daemon_and_web();
    WsClient stalled, reader;
    ASSERT_TRUE(open_browser(stalled, 4096));
    ASSERT_TRUE(open_browser(reader));
    ASSERT_TRUE(read_text_with(reader, WAIT_MS, R"("type":"status")"));
    // In lockstep with the reader, so only the stalled browser falls behind:
    // ~3 MB, far more than the socket buffers hold.
    constexpr uint64_t LINES = 3000;
    WsClient::Message m;
    for (uint64_t t = 1; t <= LINES; t++) {
        ASSERT_TRUE(daemon.send(spectrum_line(t, 512)));
        ASSERT_TRUE(read_frame(reader, m)) << "line " << t;
        ASSERT_EQ(frame_timestamp(m), t);
    }
    uint64_t received = 0, last = 0;
    while (last != LINES && read_frame(stalled, m)) {
        EXPECT_GT(frame_timestamp(m), last); // in order, never repeated
        last = frame_timestamp(m);
        received++;
    }
    EXPECT_EQ(last, LINES); // the newest is kept
    EXPECT_LT(received, LINES);
}

TEST_F(RfwatchWeb, RfwatchdGoneAndBackIsReportedAndSurvived)
{
    start_web();
    EXPECT_EQ(wdtest::http_get(port, "/").status, 200);
    WsClient ws;
    ASSERT_TRUE(open_browser(ws));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("daemon":"unreachable")"));
    ASSERT_TRUE(ws.send_text(R"({"type":"cancel"})"));
    ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("type":"error")"));
    for (int round = 1; round <= 2; round++) {
        ASSERT_TRUE(daemon.start(socket_path));
        ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("daemon":"connected")")) << "round " << round;
        ASSERT_TRUE(daemon.wait_clients(1, WAIT_MS));
        ASSERT_TRUE(daemon.send(spectrum_line(static_cast<uint64_t>(round), 8)));
        WsClient::Message m;
        ASSERT_TRUE(read_frame(ws, m));
        EXPECT_EQ(frame_timestamp(m), static_cast<uint64_t>(round));
        daemon.stop();
        ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("daemon":"unreachable")")) << "round " << round;
    }
}

// The loop reads the stop signals: either ends it cleanly, with status 0,
// also while a browser is connected.
TEST_F(RfwatchWeb, SigintAndSigtermEndItWithStatusZero)
{
    for (const int sig : {SIGINT, SIGTERM}) {
        start_web();
        WsClient ws;
        ASSERT_TRUE(open_browser(ws));
        ASSERT_TRUE(read_text_with(ws, WAIT_MS, R"("type":"status")"));
        web->send_signal(sig);
        const wdtest::Outcome stopped = web->finish(WAIT_MS);
        EXPECT_TRUE(stopped.exited) << "signal " << sig << ": " << stopped.signal;
        EXPECT_EQ(stopped.status, 0) << "signal " << sig << ": " << stopped.err;
    }
}
