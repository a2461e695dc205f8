#include "transport/worker.h"

#include "transport/libnet_provider.h"
#include "transport/submit_user_packet.h"
#include "transport/transport_state.h"
#include "transport_fixture.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tarvu::testing {
namespace {

using Worker = TransportTest;

TEST(WorkerLines, FormatsOfEveryKind) {
    EXPECT_EQ(FormatCompletionLine(0x1234, nsIOT_RECV, 23, 0, 1), "0x1234 nsIOT_RECV = 23 b 1\n");
    EXPECT_EQ(FormatCompletionLine(0xab, nsIOT_QUIT, 0, 0x10, 0),
              "0x00ab nsIOT_QUIT TreadID = 0x0010 0\n");
    EXPECT_EQ(FormatCompletionLine(0x7f00aa, nsIOT_SEND, 5, 0, 1), "0x7f00aa nsIOT_SEND 1\n");
    EXPECT_EQ(FormatCompletionLine(1, nsIOT_ERROR, 0, 0, 1), "0x0001 nsIOT_ERROR 1\n");
    EXPECT_EQ(FormatCompletionLine(1, nsIOT_WAITCOMM, 0, 0, 1), "0x0001 nsIOT_WAITCOMM 1\n");
    EXPECT_EQ(FormatCompletionLine(1, nsT_TIMER_SEND, 0, 0, 0), "0x0001 nsT_TIMER_SEND 0\n");
    EXPECT_EQ(FormatCompletionLine(1, 9, 0, 0, 1), "0x0001 неизвесн. 1\n");
    const auto* driver = reinterpret_cast<const cnsIoDriver*>(uintptr_t{0xbeef0});
    EXPECT_EQ(FormatDeleteLine(0x42, driver),
              "Перед вызовом DeleteOverlapped 0x0042 ,  this =  0xbeef0\n");
}

TEST_F(Worker, UnknownKindIsPrintedAndItsRecordRecycled) {
    OpenOnFreePort(1);
    cnsLibnetProvider* channel = FindChannel(1);
    ASSERT_NE(channel, nullptr);
    char key[32];
    std::snprintf(key, sizeof key, "0x%.4jx ",
                  static_cast<uintmax_t>(reinterpret_cast<uintptr_t>(channel)));
    const std::string deleteLine =
        FormatDeleteLine(reinterpret_cast<uintptr_t>(channel), channel->Driver());

    channel->Driver()->PostKind(77);
    ASSERT_TRUE(WaitFor([&] { return SawDebugLine(std::string(key) + "неизвесн. 1\n"); }));
    ASSERT_TRUE(WaitFor([&] { return SawDebugLine(deleteLine); }));
    const size_t allocated = AllocatedRecordCount();
    for (int i = 0; i < 5; ++i) {
        const size_t before = DebugLines().size();
        channel->Driver()->PostKind(77);
        ASSERT_TRUE(WaitFor([&] { return DebugLines().size() >= before + 2; }));
    }
    EXPECT_EQ(AllocatedRecordCount(), allocated);
}

TEST_F(Worker, ClosingEndsASleepingSendStepAtOnce) {
    Restart(1, 5000);
    OpenOnFreePort(1);
    const uint8_t packet[1] = {0x42};
    ASSERT_EQ(SubmitUserPacket(packet, 1), 0);
    uint8_t got[8];
    ASSERT_EQ(peer.ReceiveFrom(got, sizeof got, nullptr, 2000), 1);  // the step now sleeps

    const auto start = std::chrono::steady_clock::now();
    CloseChannel(Request(1));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_EQ(FindChannel(1), nullptr);
}

TEST_F(Worker, UserPacketsBeyondTheBufferAreRefusedAndNothingLeaves) {
    EXPECT_EQ(SubmitUserPacket(nullptr, 0), 0);  // no channel: accepted, nothing to queue
    OpenOnFreePort(1);
    const std::vector<uint8_t> tooLong(kUserPacketMaxBytes + 1, 0x11);
    EXPECT_NE(SubmitUserPacket(tooLong.data(), static_cast<uint16_t>(tooLong.size())), 0);
    uint8_t got[600];
    EXPECT_EQ(peer.ReceiveFrom(got, sizeof got, nullptr, 150), -1);

    const std::vector<uint8_t> full(kUserPacketMaxBytes, 0x22);
    EXPECT_EQ(SubmitUserPacket(full.data(), static_cast<uint16_t>(full.size())), 0);
    EXPECT_EQ(peer.ReceiveFrom(got, sizeof got, nullptr, 2000), 512);
}

}  // namespace
}  // namespace tarvu::testing
