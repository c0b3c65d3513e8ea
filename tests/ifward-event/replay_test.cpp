// SPDX-License-Identifier: MIT
// State file replay by the real binary against a stand-in receiver.
#include "receiver.h"

#include <chrono>
#include <gtest/gtest.h>
#include <namespaces.h>
#include <net/if.h>
#include <random>

namespace
{

using namespace ifwtest;

constexpr const char kFile[] = "/run/states";

class Replay : public testing::Test
{
  protected:
    // A private network namespace too, so that only lo exists and names
    // such as eth9 have index 0 whatever the host's interfaces are.
    void SetUp() override
    {
        WD_REQUIRE_PRIVATE_MOUNTS();
        WD_REQUIRE_PRIVATE_NETWORK();
    }

    // Writes the state file after the receiver's fresh /run exists.
    Exchange replay(const std::string &content, const std::vector<std::string> &env = {},
                    const std::vector<std::string> &extra_args = {})
    {
        Exchange e;
        std::string why;
        Receiver r;
        if (!fresh_run_dir(&why) || !wdtest::write_file(kFile, content, &why) || !r.bind(&why)) {
            ADD_FAILURE() << why;
            return e;
        }
        std::vector<std::string> args{"--init", kFile};
        args.insert(args.end(), extra_args.begin(), extra_args.end());
        e.outcome = run_tool(args, env);
        e.datagrams = r.stop();
        e.sender_lengths = r.sender_lengths();
        expect_unbound_senders(e);
        return e;
    }
};

TEST_F(Replay, SeveralInterfacesNewestFirstThenTheClosingRecord)
{
    auto lo = static_cast<int32_t>(if_nametoindex("lo"));
    Exchange e = replay("# interfaces at boot\n"
                        "eth9.enabled=1\n"
                        "\n"
                        "  wlan9.mac=00:11:22:33:44:55 # the radio\n"
                        "eth9.carrier=1\r\n"
                        "lo.ipv4_address=10.0.0.1/24\n"
                        "lo.ipv4_prefix=16\n"
                        "lo.ipv6_address=2001:db8::1/64\n"
                        "lo.dormant=1\n"
                        "lo.lldown=7\n"
                        "wlan9.exists=0\n"
                        "eth9.speed=100\n",
                        {}, {"if-up", "eth0"});
    EXPECT_EQ(e.outcome.status, 0) << e.outcome.err;
    StateFields l{.ifindex = lo, .name = "lo", .dormant = 1, .lldown = 1};
    l.ipv4 = {10, 0, 0, 1};
    l.ipv4_prefix = 16;
    l.ipv6 = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    l.ipv6_prefix = 64;
    StateFields w{.name = "wlan9", .exists = 0, .mac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}};
    StateFields eth{.name = "eth9", .enabled = 1, .carrier = 1};
    ASSERT_EQ(e.datagrams.size(), 4u) << "the command after --init must send nothing";
    EXPECT_EQ(e.datagrams[0], state_bytes(l));
    EXPECT_EQ(e.datagrams[1], state_bytes(w));
    EXPECT_EQ(e.datagrams[2], state_bytes(eth));
    EXPECT_EQ(e.datagrams[3], closing_bytes());
    EXPECT_EQ(e.outcome.err, "Warning: Ignored unknown property: eth9.speed\n"
                             "Info: Interface state sent for lo\n"
                             "Info: Interface state sent for wlan9\n"
                             "Info: Interface state sent for eth9\n");
}

TEST_F(Replay, CommentsOnlyAndUnknownPropertiesOnly)
{
    Exchange e = replay("# nothing\n\n   \t\n\r\n");
    EXPECT_EQ(e.outcome.status, 0);
    EXPECT_EQ(e.datagrams, std::vector<Bytes>{closing_bytes()});
    EXPECT_EQ(e.outcome.err, "");

    // eth0.100 is interface eth0 with property 100.enabled.
    e = replay("eth9.100.enabled=1\n");
    EXPECT_EQ(e.outcome.err, "Warning: Ignored unknown property: eth9.100.enabled\n"
                             "Info: Interface state sent for eth9\n");
    EXPECT_EQ(e.datagrams, (std::vector<Bytes>{state_bytes({.name = "eth9"}), closing_bytes()}));
}

TEST_F(Replay, AnInvalidValueSendsNothing)
{
    Exchange e = replay("eth9.enabled=1\nwlan9.carrier=1\n# x\neth9.mac=zz\neth9.carrier=1\n");
    EXPECT_EQ(e.outcome.status, 255);
    EXPECT_TRUE(e.datagrams.empty());
    EXPECT_EQ(e.outcome.err, "Error: Invalid eth9.mac value: zz\n"
                             "Error: Error processing line 4 in /run/states\n");
    e = replay("eth9.ipv4_address=2001:db8::1\n");
    EXPECT_EQ(e.outcome.status, 255);
    EXPECT_TRUE(e.datagrams.empty());
}

TEST_F(Replay, MalformedLinesAndPiecesOfLongLinesAreCountedAndSkipped)
{
    // 250 blanks and "eth9." fill the first 255-byte piece; the rest of that
    // line is the next piece. Neither part is a whole line.
    const std::string long_line = std::string(250, ' ') + "eth9.enabled=1\n";
    const std::string if16(16, 'i');
    Exchange e = replay("eth9 enabled\n" + long_line + if16 + ".enabled=1\n" + "eth9.carrier=1\n",
                        {"DEBUG=1"});
    EXPECT_EQ(e.outcome.status, 0);
    EXPECT_EQ(e.outcome.err, "Debug: Processing state file: /run/states\n"
                             "Warning: Malformed line 1 in /run/states (ignored): eth9 enabled\n"
                             "Warning: Malformed line 2 in /run/states (ignored): eth9.\n"
                             "Warning: Malformed line 3 in /run/states (ignored): enabled=1\n"
                             "Warning: Malformed line 4 in /run/states (ignored): " +
                                 if16 +
                                 ".enabled=1\n"
                                 "Debug: Sending state for eth9 to /run/ifward/ifward.sock\n"
                                 "Info: Interface state sent for eth9\n"
                                 "Debug: Sending dummy state to /run/ifward/ifward.sock\n"
                                 "Debug: State file processing complete\n");
    // The over-long name is not cut into "iiiiiiiiiiiiiii".
    EXPECT_EQ(e.datagrams,
              (std::vector<Bytes>{state_bytes({.name = "eth9", .carrier = 1}), closing_bytes()}));
}

TEST_F(Replay, WithoutIfwardEveryStateFailsAndTheRunStillSucceeds)
{
    std::string why;
    ASSERT_TRUE(fresh_run_dir(&why) && wdtest::write_file(kFile, "eth9.enabled=1\n", &why)) << why;
    wdtest::Outcome o = run_tool({"-i", kFile});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "Error: ifward socket not found. Is ifward running?\n"
                     "Error: Failed to send state for interface eth9\n"
                     "Error: ifward socket not found. Is ifward running?\n"
                     "Error: Failed to send state for interface \n");
}

TEST_F(Replay, UnreadableFilesFailWithNothingSent)
{
    Exchange e = exchange({"-i", "/run/no-such-file"});
    EXPECT_EQ(e.outcome.status, 255);
    EXPECT_EQ(e.outcome.err,
              "Error: open(/run/no-such-file) for reading failed: No such file or directory\n");
    EXPECT_TRUE(e.datagrams.empty());
    // A directory opens but cannot be read: that is no empty state file.
    e = exchange({"-i", "/run", "--init", "/run/ifward"});
    EXPECT_EQ(e.outcome.status, 255);
    EXPECT_EQ(e.outcome.err, "Error: read(/run/ifward) failed: Is a directory\n");
    EXPECT_TRUE(e.datagrams.empty());
}

// Whatever the file holds, the tool ends normally, and a successful run has
// sent well-formed states ending in the closing record.
void expect_sound(const Exchange &e)
{
    ASSERT_TRUE(e.outcome.exited) << "signal " << e.outcome.signal;
    ASSERT_TRUE(e.outcome.status == 0 || e.outcome.status == 255) << e.outcome.status;
    if (e.outcome.status == 255) {
        EXPECT_TRUE(e.datagrams.empty());
        return;
    }
    ASSERT_FALSE(e.datagrams.empty());
    EXPECT_EQ(e.datagrams.back(), closing_bytes());
    for (const Bytes &d : e.datagrams) {
        ASSERT_EQ(d.size(), 60u);
        EXPECT_EQ(d[31] | d[37] | d[38] | d[39] | d[57] | d[58] | d[59], 0);
        for (std::size_t i = 20; i <= 24; ++i)
            EXPECT_LE(d[i], 1);
        EXPECT_LE(d[36], 32);
        EXPECT_LE(d[56], 128);
    }
}

TEST_F(Replay, ArbitraryBytesNeverCrash)
{
    // Random bytes, and random lines built from the characters that matter.
    std::mt19937 rng(20261208);
    const char alphabet[] = "eth0.=#:/ \t\r\n\0xabcdef0123456789enabled_mac";
    for (int round = 0; round < 6; ++round) {
        std::string text(65536, '\0');
        for (char &c : text)
            c = round % 2 ? alphabet[rng() % (sizeof(alphabet) - 1)] : static_cast<char>(rng());
        SCOPED_TRACE(round);
        expect_sound(replay(text));
    }
}

TEST_F(Replay, HugeFilesAndManyInterfaces)
{
    // 8 MiB of lines for a few interfaces, a 1 MiB line and no final newline.
    std::string text;
    for (int i = 0; text.size() < (8u << 20); ++i)
        text += "if" + std::to_string(i % 4) + ".carrier=" + std::to_string(i % 2) + "\n";
    text += std::string(1u << 20, 'x') + "if0.enabled=1";
    auto t0 = std::chrono::steady_clock::now();
    Exchange e = replay(text);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    expect_sound(e);
    EXPECT_EQ(e.datagrams.size(), 5u);
    std::cout << "8 MiB state file replayed in " << ms << " ms\n";

    // Distinct interfaces: each is sent, newest first.
    constexpr int n = 20000;
    text.clear();
    for (int i = 0; i < n; ++i)
        text += "v" + std::to_string(i) + ".enabled=1\n";
    t0 = std::chrono::steady_clock::now();
    e = replay(text);
    ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    expect_sound(e);
    ASSERT_EQ(e.datagrams.size(), static_cast<std::size_t>(n + 1));
    EXPECT_EQ(e.datagrams[0], state_bytes({.name = "v19999", .enabled = 1}));
    EXPECT_EQ(e.datagrams[n - 1], state_bytes({.name = "v0", .enabled = 1}));
    std::cout << n << " interfaces replayed in " << ms << " ms\n";
}

} // namespace
