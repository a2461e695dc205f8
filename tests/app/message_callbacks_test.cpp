#include "app/message_callbacks.h"

#include "platform/debug_output.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace tarvu {
namespace {

using Write = std::tuple<std::string, std::string, std::string>;

class MessageCallbacksTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousSink_ = SetDebugSink([this](std::string_view text) { debug_ += text; });
    }
    void TearDown() override { SetDebugSink(std::move(previousSink_)); }

    MessageCallbacks Make(uint16_t repeats) {
        return MessageCallbacks(
            repeats, [this](const std::string& s, const std::string& k, const std::string& v) {
                writes_.emplace_back(s, k, v);
            });
    }

    static MessageRecord Message(uint32_t code, uint8_t channel, uint8_t device, uint8_t param) {
        MessageRecord m;
        m.SetCode(code);
        m.SetChannelNumber(channel);
        m.SetDeviceAddress(device);
        m.SetParameter(param);
        m.bytes[50] = 0x5A;  // unnamed bytes travel with the copy
        return m;
    }

    std::string debug_;
    std::vector<Write> writes_;
    DebugSink previousSink_;
};

TEST_F(MessageCallbacksTest, DescribeLogsOneLineAndStoresAMacAddress) {
    MessageCallbacks callbacks = Make(3);
    EXPECT_EQ(callbacks.DescribeMessage(Message(0x21, 1, 5, 0x9E)), 1);
    MessageRecord mac = Message(kCodeMac, 3, 0xAB, 0);
    const uint8_t address[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::copy(address, address + 6, mac.Mac());
    callbacks.DescribeMessage(mac);
    mac.Mac()[5] = 0xF0;
    callbacks.DescribeMessage(mac);
    EXPECT_EQ(debug_,
              "05: - HardCode = 21(ma_ALARM) ; Param = 9E(PARAM_LOST_ACCUM)\n"
              "AB: - HardCode = 301(ma_MAC) ; Param = 00\n"
              "AB: - HardCode = 301(ma_MAC) ; Param = 00\n");
    EXPECT_EQ(writes_, (std::vector<Write>{{"Kanal №3", "MAC-адрес(hex)", "00 1A 2B 3C 4D 5E"},
                                           {"Kanal №3", "MAC-адрес(hex)", "00 1A 2B 3C 4D F0"}}));
}

TEST_F(MessageCallbacksTest, RetiresTheHeadOnlyForTheSameDeviceChannelAndCode) {
    MessageCallbacks callbacks = Make(3);
    callbacks.AddPending(Message(0x40, 1, 7, 0));
    callbacks.AddPending(Message(0x21, 1, 8, 0));
    // Another device, channel or code, or a match with the second message, retires nothing.
    for (const MessageRecord& other : {Message(0x40, 1, 6, 0), Message(0x40, 2, 7, 0),
                                       Message(0x41, 1, 7, 0), Message(0x21, 1, 8, 0)}) {
        callbacks.DescribeMessage(other);
    }
    EXPECT_EQ(callbacks.PendingCount(), 2u);
    callbacks.DescribeMessage(Message(0x40, 1, 7, 0x9D));  // the parameter does not matter
    EXPECT_EQ(callbacks.PendingCount(), 1u);
}

TEST_F(MessageCallbacksTest, FetchHandsOutEachMessageRepeatsTimesWithC6OnTheLast) {
    MessageCallbacks callbacks = Make(3);
    MessageRecord out;
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 0);
    EXPECT_EQ(out.bytes, MessageRecord{}.bytes);  // untouched

    const MessageRecord pending = Message(0x21, 1, 5, 0x9E);
    callbacks.AddPending(pending);
    callbacks.AddPending(Message(0x22, 1, 6, 0));
    EXPECT_EQ(callbacks.FetchMessage(&out, 0), 1);  // peeking does not count
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 2);
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 3);
    EXPECT_EQ(out.bytes, pending.bytes);
    EXPECT_TRUE(debug_.empty());
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 1);
    EXPECT_EQ(out.Parameter(), kLastRepeatParameter);
    EXPECT_EQ(out.bytes[50], 0x5A);
    // The head itself is described, with its own parameter, and retired.
    EXPECT_EQ(debug_, "05: - HardCode = 21(ma_ALARM) ; Param = 9E(PARAM_LOST_ACCUM)\n");
    EXPECT_EQ(callbacks.PendingCount(), 1u);

    // The counter is shared: a loss report that retires a message does not reset it.
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 2);
    callbacks.DescribeMessage(Message(0x22, 1, 6, 0));
    EXPECT_EQ(callbacks.RepeatCounter(), 2);
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 0);
}

TEST_F(MessageCallbacksTest, RepeatCountsOfZeroAndTheMaximum) {
    MessageRecord out;
    MessageCallbacks never = Make(0);  // the counter never equals 0: nothing is retired
    never.AddPending(Message(0x21, 1, 5, 0));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(never.FetchMessage(&out, 1), 1);
        EXPECT_EQ(out.Parameter(), 0);
    }
    EXPECT_EQ(never.PendingCount(), 1u);

    // The last of 65535 copies must still report a fetched message, not 0.
    MessageCallbacks most = Make(65535);
    most.AddPending(Message(0x21, 1, 5, 0));
    for (uint32_t i = 1; i < 65535; ++i) {
        ASSERT_EQ(most.FetchMessage(&out, 1), i + 1);
    }
    EXPECT_EQ(most.FetchMessage(&out, 1), 1);
    EXPECT_EQ(most.PendingCount(), 0u);
}

}  // namespace
}  // namespace tarvu
