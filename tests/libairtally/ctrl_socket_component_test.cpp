// SPDX-License-Identifier: MIT
// vap_stat_get_sock against stand-in daemons bound at the real control
// socket directories, inside a private mount namespace (tmpfs over /run,
// which /var/run points to, and over /tmp for the library's own socket).
#include "ctrl_socket.h"
#include "fake_ctrl_daemon.h"
#include "fd_capture.h"
#include "handle_fixture.h"
#include "namespaces.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <linux/nl80211.h>
#include <map>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace airtally;
using wdtest::FakeCtrlDaemon;

// The receive time-out cannot fail on a good socket; this stands in for
// the C library's setsockopt to make it fail on request.
std::atomic<bool> fail_receive_timeout{false};

extern "C" int setsockopt(int fd, int level, int name, const void *value, socklen_t len) noexcept
{
    if (fail_receive_timeout && level == SOL_SOCKET && name == SO_RCVTIMEO) {
        errno = ENOMEM;
        return -1;
    }
    using Setsockopt = int (*)(int, int, int, const void *, socklen_t);
    static auto real = reinterpret_cast<Setsockopt>(dlsym(RTLD_NEXT, "setsockopt"));
    return real(fd, level, name, value, len);
}

namespace
{

const char *kConfigWpa2Psk = "bssid=02:00:00:00:00:00\n"
                             "ssid=airtally\n"
                             "wps_state=disabled\n"
                             "wpa=2\n"
                             "key_mgmt=WPA-PSK\n"
                             "group_cipher=CCMP\n"
                             "rsn_pairwise_cipher=CCMP\n";

std::string own_socket_path()
{
    return "/tmp/airtally_ctrl_" + std::to_string(getpid());
}

vap_stat make_vap(uint32_t iftype, const char *ifname)
{
    vap_stat v{};
    v.iftype = iftype;
    std::strncpy(v.ifname, ifname, sizeof(v.ifname) - 1);
    // What an earlier query left behind.
    v.wpa = 1;
    v.key_mgmt = 0x11111111;
    v.pairwise_cipher = 0x22222222;
    v.group_cipher = 0x33333333;
    return v;
}

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

class CtrlSocket : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        WD_REQUIRE_PRIVATE_MOUNTS();
        std::string why;
        ASSERT_TRUE(wdtest::mount_tmpfs("/run", &why)) << why;
        ASSERT_TRUE(wdtest::mount_tmpfs("/tmp", &why)) << why;
        ASSERT_TRUE(wdtest::make_dirs("/run/hostapd", &why)) << why;
        ASSERT_TRUE(wdtest::make_dirs("/run/wpa_supplicant", &why)) << why;
        h_ = bare_handle();
        ASSERT_TRUE(h_);
        ASSERT_EQ(ctrl_open(h_->ctrl), 0);
    }

    void start(FakeCtrlDaemon &d, const std::string &path)
    {
        std::string why;
        ASSERT_TRUE(d.start(path, &why)) << why;
    }

    HandlePtr h_;
};

} // namespace

TEST_F(CtrlSocket, OwnSocketFileExistsUntilTheHandleIsFreed)
{
    struct stat st {
    };
    ASSERT_EQ(stat(own_socket_path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    h_.reset();
    EXPECT_NE(access(own_socket_path().c_str(), F_OK), 0);
}

// What one query leaves in the record (which starts with the suites of an
// earlier query, see make_vap), what it asks, and that the library says
// nothing on the caller's standard output.
TEST_F(CtrlSocket, QueryResults)
{
    using Suites = std::array<uint32_t, 4>; // wpa, key_mgmt, pairwise, group
    const Suites kept = {1, 0x11111111, 0x22222222, 0x33333333}, none = {};
    struct Case {
        uint32_t iftype;
        std::map<std::string, std::string> answers; // empty: no daemon at all
        bool timeout_refused;                       // setsockopt(SO_RCVTIMEO) fails
        Suites want;
        std::string said; // on standard error
    };
    const std::string status = "ssid=airtally\npairwise_cipher=CCMP\ngroup_cipher=CCMP\n"
                               "key_mgmt=WPA2-PSK\nwpa_state=COMPLETED\n";
    const std::string mib = "dot11RSNAPairwiseCipherSelected=00-0f-ac-4\n";
    const uint32_t ap = NL80211_IFTYPE_AP, sta = NL80211_IFTYPE_STATION;
    const Suites wpa2_psk = {2, 0x000FAC02, 0x000FAC04, 0x000FAC04};
    // clang-format off
    const Case cases[] = {
        {ap, {{"GET_CONFIG", kConfigWpa2Psk}}, false, wpa2_psk, ""},
        {ap, {{"PING", "PONG\n"}}, false, none, ""}, // no security lines
        {sta, {{"STATUS", status}, {"MIB", mib}}, false, wpa2_psk, ""},
        // MIB's line replaces STATUS's.
        {sta, {{"STATUS", "key_mgmt=WPA2/IEEE 802.1X/EAP\npairwise_cipher=TKIP\n"},
               {"MIB", "pairwise_cipher=CCMP\n"}}, false, {0, 0x000FAC01, 0x000FAC04, 0}, ""},
        // A station that left its network keeps no old suites.
        {sta, {{"STATUS", "wpa_state=DISCONNECTED\n"}, {"MIB", ""}}, false, none, ""},
        {sta, {}, false, kept, "Ctrl socket path /var/run/wpa_supplicant/wlan1 non-existant\n"},
        {ap, {}, false, kept, "Ctrl socket path /var/run/hostapd/wlan1 non-existant\n"},
        // Without its time-out nothing is sent, nothing waited for.
        {ap, {{"GET_CONFIG", kConfigWpa2Psk}}, true, none, "setsockopt: Cannot allocate memory\n"},
    };
    // clang-format on
    for (const Case &c : cases) {
        bool is_ap = c.iftype == ap;
        SCOPED_TRACE(testing::Message() << (is_ap ? "AP " : "station ") << c.said);
        FakeCtrlDaemon daemon;
        for (const auto &[command, reply] : c.answers)
            daemon.answer(command, reply);
        if (!c.answers.empty())
            start(daemon,
                  std::string(is_ap ? "/var/run/hostapd" : "/var/run/wpa_supplicant") + "/wlan1");
        vap_stat v = make_vap(c.iftype, "wlan1");
        wdtest::FdCapture out(1);
        std::string said;
        {
            wdtest::FdCapture err(2);
            fail_receive_timeout = c.timeout_refused;
            EXPECT_EQ(vap_stat_get_sock(h_.get(), &v), &v);
            fail_receive_timeout = false;
            said = err.text();
        }
        EXPECT_EQ(out.text(), "");
        EXPECT_EQ(said, c.said);
        EXPECT_EQ((Suites{v.wpa, v.key_mgmt, v.pairwise_cipher, v.group_cipher}), c.want);
        std::vector<std::string> sent, want_sent;
        for (const auto &r : daemon.requests()) {
            sent.push_back(r.command);
            EXPECT_EQ(r.from, own_socket_path());
        }
        if (!c.answers.empty() && !c.timeout_refused)
            want_sent = is_ap ? std::vector<std::string>{"GET_CONFIG"}
                              : std::vector<std::string>{"STATUS", "MIB"};
        EXPECT_EQ(sent, want_sent); // no newline, no terminator
    }
}

TEST_F(CtrlSocket, SilentDaemonTimesOutAfterTwoSeconds)
{
    FakeCtrlDaemon hostapd;
    hostapd.stay_silent();
    start(hostapd, "/var/run/hostapd/wlan0");
    vap_stat v = make_vap(NL80211_IFTYPE_AP, "wlan0");
    wdtest::FdCapture err(2);
    auto t0 = std::chrono::steady_clock::now();
    vap_stat_get_sock(h_.get(), &v);
    double took = seconds_since(t0);
    std::string printed = err.text();
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 6.0); // loose: a loaded machine may be late, never early
    EXPECT_EQ(printed.rfind("recv: ", 0), 0u) << printed;
    EXPECT_EQ(v.wpa, 0u);
    EXPECT_EQ(v.key_mgmt, 0u);
    EXPECT_EQ(v.pairwise_cipher, 0u);
    EXPECT_EQ(v.group_cipher, 0u);
    EXPECT_EQ(hostapd.requests().size(), 1u);
}

// Reached but silent: cleared like an access point's, since nothing known
// about the station's current network remains.
TEST_F(CtrlSocket, SilentSupplicantTimesOutTwiceAndClearsTheStation)
{
    FakeCtrlDaemon supplicant;
    supplicant.stay_silent();
    start(supplicant, "/var/run/wpa_supplicant/wlan1");
    vap_stat v = make_vap(NL80211_IFTYPE_STATION, "wlan1");
    wdtest::FdCapture err(2);
    auto t0 = std::chrono::steady_clock::now();
    vap_stat_get_sock(h_.get(), &v);
    double took = seconds_since(t0);
    std::string printed = err.text();
    EXPECT_GE(took, 3.8); // two requests, two seconds each
    EXPECT_LT(took, 10.0);
    EXPECT_EQ(v.wpa | v.key_mgmt | v.pairwise_cipher | v.group_cipher, 0u);
    EXPECT_EQ(printed.find("recv: "), 0u) << printed;
    EXPECT_NE(printed.find("recv: ", 1), std::string::npos) << printed;
    EXPECT_EQ(supplicant.requests().size(), 2u);
}

TEST_F(CtrlSocket, SocketFileWithoutADaemonFailsToConnect)
{
    {
        // A daemon that died: its socket file outlives it.
        FakeCtrlDaemon gone;
        start(gone, "/var/run/hostapd/wlan0");
        int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, "/var/run/hostapd/wlan3");
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)), 0);
        close(fd);
    }
    vap_stat v = make_vap(NL80211_IFTYPE_AP, "wlan3");
    vap_stat before = v;
    wdtest::FdCapture err(2);
    vap_stat_get_sock(h_.get(), &v);
    EXPECT_EQ(err.text(), "connect: Connection refused\n");
    EXPECT_EQ(std::memcmp(&v, &before, sizeof(v)), 0);
}

TEST_F(CtrlSocket, OtherInterfaceTypesCauseNoTraffic)
{
    FakeCtrlDaemon hostapd, supplicant;
    start(hostapd, "/var/run/hostapd/wlan0");
    start(supplicant, "/var/run/wpa_supplicant/wlan0");
    for (uint32_t t : {NL80211_IFTYPE_UNSPECIFIED, NL80211_IFTYPE_ADHOC, NL80211_IFTYPE_AP_VLAN,
                       NL80211_IFTYPE_WDS, NL80211_IFTYPE_MONITOR, NL80211_IFTYPE_MESH_POINT,
                       NL80211_IFTYPE_P2P_CLIENT, NL80211_IFTYPE_P2P_GO, NL80211_IFTYPE_OCB}) {
        vap_stat v = make_vap(t, "wlan0");
        vap_stat before = v;
        wdtest::FdCapture out(1);
        EXPECT_EQ(vap_stat_get_sock(h_.get(), &v), &v);
        EXPECT_EQ(out.text(), "") << "iftype " << t;
        EXPECT_EQ(std::memcmp(&v, &before, sizeof(v)), 0) << "iftype " << t;
    }
    EXPECT_TRUE(hostapd.requests().empty());
    EXPECT_TRUE(supplicant.requests().empty());
}

// A reply that comes after its request timed out must not be taken for the
// answer to the next request to the same daemon. (Connecting to another
// daemon already drops what is queued: the kernel purges it.)
TEST_F(CtrlSocket, LateReplyIsNotTakenForTheNextAnswer)
{
    FakeCtrlDaemon hostapd;
    hostapd.answer("GET_CONFIG", "wpa=1\nkey_mgmt=WPA-EAP\nwpa_pairwise_cipher=TKIP\n"
                                 "group_cipher=TKIP\n");
    hostapd.delay_replies(2300);
    start(hostapd, "/var/run/hostapd/wlan0");
    vap_stat v = make_vap(NL80211_IFTYPE_AP, "wlan0");
    {
        wdtest::FdCapture err(2);
        vap_stat_get_sock(h_.get(), &v);
    }
    EXPECT_EQ(v.key_mgmt, 0u);
    ASSERT_TRUE(hostapd.wait_replies(1, 2000)); // now queued at our socket
    // The configuration changed meanwhile, and the daemon is prompt again.
    hostapd.answer("GET_CONFIG", kConfigWpa2Psk);
    hostapd.delay_replies(0);
    vap_stat_get_sock(h_.get(), &v);
    EXPECT_EQ(v.wpa, 2u);
    EXPECT_EQ(v.key_mgmt, 0x000FAC02u);
    EXPECT_EQ(v.pairwise_cipher, 0x000FAC04u);
    EXPECT_EQ(v.group_cipher, 0x000FAC04u);
}

TEST_F(CtrlSocket, ReplyIsCutAtOneByteLessThanAPage)
{
    const size_t page = static_cast<size_t>(getpagesize());
    std::string reply = "group_cipher=CCMP\n";
    while (reply.size() < page - 7)
        reply += "filler=................................\n";
    reply.resize(page - 7, '.');
    // The "2" lands on the last byte kept (page - 2), the "3" on the first
    // one cut: "wpa=2" gives 2, an uncut "wpa=23" would give 3.
    reply += "\nwpa=23\nkey_mgmt=WPA-PSK\n";
    FakeCtrlDaemon hostapd;
    hostapd.answer("GET_CONFIG", reply);
    start(hostapd, "/var/run/hostapd/wlan0");
    vap_stat v = make_vap(NL80211_IFTYPE_AP, "wlan0");
    vap_stat_get_sock(h_.get(), &v);
    EXPECT_EQ(v.group_cipher, 0x000FAC04u);
    EXPECT_EQ(v.wpa, 2u);
    EXPECT_EQ(v.key_mgmt, 0u);
}
