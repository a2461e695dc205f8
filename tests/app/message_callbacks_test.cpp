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

    MessageCallbacks::SettingsWriter Recorder() {
        return [this](const std::string& section, const std::string& key,
                      const std::string& value) { writes_.emplace_back(section, key, value); };
    }

    static MessageRecord Message(uint32_t code, uint8_t channel, uint8_t device,
                                 uint8_t parameter) {
        MessageRecord m;
        m.SetCode(code);
        m.SetChannelNumber(channel);
        m.SetDeviceAddress(device);
        m.SetParameter(parameter);
        m.bytes[50] = 0x5A;  // bytes nobody names must still travel with the copy
        return m;
    }

    std::string debug_;
    std::vector<Write> writes_;
    DebugSink previousSink_;
};

TEST_F(MessageCallbacksTest, DescribeWritesOneDebugLineAndNoSetting) {
    MessageCallbacks callbacks(3, Recorder());
    EXPECT_EQ(callbacks.DescribeMessage(Message(0x21, 1, 5, 0x9E)), 1);
    EXPECT_EQ(callbacks.DescribeMessage(Message(0x66, 1, 0xAB, 0x00)), 1);
    EXPECT_EQ(debug_,
              "05: - HardCode = 21(ma_ALARM) ; Param = 9E(PARAM_LOST_ACCUM)\n"
              "AB: - HardCode = 66(ma_RESET_ALARM_KTS\t) ; Param = 00\n");
    EXPECT_TRUE(writes_.empty());
}

TEST_F(MessageCallbacksTest, MacMessageStoresTheAddressInTheChannelSection) {
    MessageCallbacks callbacks(3, Recorder());
    MessageRecord mac = Message(kCodeMac, 3, 0, 0);
    const uint8_t first[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::copy(first, first + 6, mac.Mac());
    callbacks.DescribeMessage(mac);
    mac.Mac()[5] = 0xF0;
    mac.SetChannelNumber(12);
    callbacks.DescribeMessage(mac);
    EXPECT_EQ(writes_, (std::vector<Write>{{"Kanal №3", "MAC-адрес(hex)", "00 1A 2B 3C 4D 5E"},
                                           {"Kanal №12", "MAC-адрес(hex)", "00 1A 2B 3C 4D F0"}}));
    EXPECT_EQ(debug_.substr(0, 39), "00: - HardCode = 301(ma_MAC) ; Param = ");
    // Without a writer the message is still described.
    MessageCallbacks silent(3, {});
    EXPECT_EQ(silent.DescribeMessage(mac), 1);
}

TEST_F(MessageCallbacksTest, RetiresTheHeadOnlyForTheSameDeviceChannelAndCode) {
    MessageCallbacks callbacks(3, Recorder());
    const MessageRecord head = Message(0x40, 1, 7, 0);
    callbacks.AddPending(head);
    callbacks.AddPending(Message(0x21, 1, 8, 0));
    callbacks.DescribeMessage(Message(0x40, 1, 6, 0));  // another device
    callbacks.DescribeMessage(Message(0x40, 2, 7, 0));  // another channel
    callbacks.DescribeMessage(Message(0x41, 1, 7, 0));  // another code
    callbacks.DescribeMessage(Message(0x21, 1, 8, 0));  // matches the second, not the head
    EXPECT_EQ(callbacks.PendingCount(), 2u);
    callbacks.DescribeMessage(Message(0x40, 1, 7, 0x9D));  // the parameter does not matter
    EXPECT_EQ(callbacks.PendingCount(), 1u);
    callbacks.DescribeMessage(Message(0x21, 1, 8, 0));
    EXPECT_EQ(callbacks.PendingCount(), 0u);
    callbacks.DescribeMessage(Message(0x21, 1, 8, 0));  // empty list: nothing to retire
    EXPECT_EQ(callbacks.PendingCount(), 0u);
}

TEST_F(MessageCallbacksTest, FetchHandsOutEachMessageRepeatsTimesWithC6OnTheLast) {
    MessageCallbacks callbacks(3, Recorder());
    MessageRecord out;
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 0);
    EXPECT_EQ(out.bytes, MessageRecord{}.bytes);  // untouched

    const MessageRecord pending = Message(0x21, 1, 5, 0x9E);
    callbacks.AddPending(pending);
    EXPECT_EQ(callbacks.FetchMessage(&out, 0), 1);  // peeking does not count
    EXPECT_EQ(out.bytes, pending.bytes);
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 2);
    EXPECT_EQ(out.bytes, pending.bytes);
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 3);
    EXPECT_EQ(out.Parameter(), 0x9E);
    EXPECT_TRUE(debug_.empty());
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 1);
    EXPECT_EQ(out.Parameter(), kLastRepeatParameter);
    EXPECT_EQ(out.Code(), 0x21u);
    EXPECT_EQ(out.bytes[50], 0x5A);
    // The head itself is described (with its own parameter) and retired.
    EXPECT_EQ(debug_, "05: - HardCode = 21(ma_ALARM) ; Param = 9E(PARAM_LOST_ACCUM)\n");
    EXPECT_EQ(callbacks.PendingCount(), 0u);
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 0);
}

TEST_F(MessageCallbacksTest, RepeatCounterIsSharedAcrossMessages) {
    MessageCallbacks callbacks(3, Recorder());
    callbacks.AddPending(Message(0x21, 1, 5, 0));
    callbacks.AddPending(Message(0x22, 1, 6, 0));
    MessageRecord out;
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 2);
    callbacks.DescribeMessage(Message(0x21, 1, 5, 0));  // a loss report retires the first
    EXPECT_EQ(callbacks.RepeatCounter(), 2);
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 3);
    EXPECT_EQ(out.Code(), 0x22u);
    EXPECT_EQ(callbacks.FetchMessage(&out, 1), 1);
    EXPECT_EQ(out.Parameter(), kLastRepeatParameter);
    EXPECT_EQ(callbacks.PendingCount(), 0u);
}

TEST_F(MessageCallbacksTest, UnreachableOrExtremeRepeatCounts) {
    MessageRecord out;
    MessageCallbacks never(0, Recorder());  // the counter never equals 0
    never.AddPending(Message(0x21, 1, 5, 0));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(never.FetchMessage(&out, 1), 1);
        EXPECT_EQ(out.Parameter(), 0);
    }
    EXPECT_EQ(never.PendingCount(), 1u);

    MessageCallbacks once(1, Recorder());
    once.AddPending(Message(0x21, 1, 5, 0));
    EXPECT_EQ(once.FetchMessage(&out, 1), 1);
    EXPECT_EQ(out.Parameter(), kLastRepeatParameter);
    EXPECT_EQ(once.PendingCount(), 0u);

    // The last of 65535 copies must still report a fetched message, not 0.
    MessageCallbacks most(65535, Recorder());
    most.AddPending(Message(0x21, 1, 5, 0));
    most.AddPending(Message(0x22, 1, 5, 0));
    for (uint32_t i = 1; i < 65535; ++i) {
        ASSERT_EQ(most.FetchMessage(&out, 1), i + 1);
    }
    EXPECT_EQ(most.FetchMessage(&out, 1), 1);
    EXPECT_EQ(out.Parameter(), kLastRepeatParameter);
    EXPECT_EQ(most.PendingCount(), 1u);
}

TEST_F(MessageCallbacksTest, EngineCallbacksForwardToTheInstalledInstance) {
    MessageCallbacks callbacks(2, Recorder());
    MessageRecord out;
    MessageRecord message = Message(0x21, 1, 5, 0);
    EXPECT_EQ(FetchMessage(nullptr, &out, 1), 0);
    EXPECT_EQ(DescribeMessage(&message), 1);
    EXPECT_TRUE(debug_.empty());

    callbacks.AddPending(message);
    InstallMessageCallbacks(&callbacks);
    EXPECT_EQ(FetchMessage(nullptr, &out, 1), 2);
    EXPECT_EQ(DescribeMessage(nullptr), 1);
    EXPECT_EQ(DescribeMessage(&message), 1);
    InstallMessageCallbacks(nullptr);
    EXPECT_EQ(callbacks.PendingCount(), 0u);
    EXPECT_EQ(debug_, "05: - HardCode = 21(ma_ALARM) ; Param = 00\n");
}

}  // namespace
}  // namespace tarvu
