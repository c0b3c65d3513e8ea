// SPDX-License-Identifier: MIT
// What the page reads: every message is one JSON object whatever a name or
// an error holds, and a radio entry names its state as the page expects.
#include "web_messages.h"

#include <cJSON.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>

TEST(WebMessages, AreJsonWithTheFieldsThePageReads)
{
    struct Case {
        std::string text;
        const char *field, *value;
    };
    const RadioInfo expired{"ap \"1\"", "phy\\0", RadioState::Expired, true, true, 1, 2, {}};
    const RadioInfo online{"ap2", "phy0", RadioState::Online, true, true, 3, 4, {}};
    const Case cases[] = {
        {radio_message(7, expired), "node", "ap \"1\""},
        {radio_message(7, expired), "radio", "phy\\0"},
        {radio_message(7, expired), "state", "expired"},
        {radio_message(7, RadioInfo{}), "state", "unknown"},
        {radio_message(7, RadioInfo{}), "daemon", "unreachable"},
        {error_message("bad \"x\"\n\\"), "message", "bad \"x\"\n\\"},
        {status_message(false, 5, 6), "daemon", "unreachable"},
    };
    for (const Case &c : cases) {
        std::unique_ptr<cJSON, decltype(&cJSON_Delete)> doc(cJSON_Parse(c.text.c_str()),
                                                            cJSON_Delete);
        ASSERT_NE(doc, nullptr) << c.text;
        EXPECT_STREQ(cJSON_GetStringValue(cJSON_GetObjectItem(doc.get(), c.field)), c.value)
            << c.text;
    }
    EXPECT_EQ(
        radio_message(2, online),
        R"({"type":"radio","id":2,"node":"ap2","radio":"phy0","state":"online","daemon":"connected"})");
    EXPECT_EQ(sent_message(R"({"cmd":"cancel"})"), R"({"type":"sent","command":{"cmd":"cancel"}})");
    EXPECT_EQ(selected_message(3), R"({"type":"selected","radio":3})");
    RadioInfo with_air = online;
    with_air.air.quality = 12;
    with_air.air.signal_count = 1;
    with_air.air.signals[0] = {"microwave", 2450.04, -50.0, 0.5, 0.5};
    EXPECT_EQ(
        radio_message(2, with_air),
        R"({"type":"radio","id":2,"node":"ap2","radio":"phy0","state":"online","daemon":"connected",)"
        R"("air":{"quality":12,"signals":[{"class":"microwave","mhz":2450.0,"dbm":-50.0,"duty":0.500}]}})");
    // A text message that is not UTF-8 would make the browser close the socket.
    for (const std::string bad : {"\xff", "\xc3", "\xc0\xaf", "\xe2\x82"})
        EXPECT_EQ(air_message(R"({"air":1,"x":")" + bad + "\"}"), "") << bad;
    EXPECT_EQ(air_message(R"({"air":1,"x":"é€😀"})"),
              R"({"type":"air","line":{"air":1,"x":"é€😀"}})");
}
