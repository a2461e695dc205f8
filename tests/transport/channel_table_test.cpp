#include "transport/libnet_provider.h"
#include "transport/transport_state.h"
#include "transport/worker_threads.h"
#include "transport_fixture.h"

#include <gtest/gtest.h>

namespace tarvu::testing {
namespace {

using ChannelTable = TransportTest;

const std::pair<std::string, std::string> kPortTaken = {"cnsLibnetProvider::cnsLibnetProvider",
                                                        "Проблема с инициализаце(порт занят?)"};
const std::pair<std::string, std::string> kAlreadyOpen = {"Внимание!",
                                                          "Такой ИП уже был открыт!!!"};

TEST_F(ChannelTable, TakenReadPortIsReportedAndLeavesNoSlotNorWorker) {
    UdpSocket holder = UdpSocket::Create();
    ASSERT_EQ(holder.Bind(0), 0);
    window.Set(peer.LocalPort(), std::to_string(holder.LocalPort()));
    EXPECT_EQ(OpenChannel(Request(1)), 0);
    EXPECT_EQ(MessageBoxes(), (std::vector{kPortTaken}));
    EXPECT_EQ(FindChannel(1), nullptr);
    EXPECT_FALSE(ChannelTableExists());
    EXPECT_EQ(WorkerThreads().Size(), 0u);
    EXPECT_EQ(Transport().port, nullptr);

    // A read port that is no port at all is refused the same way.
    window.Set(peer.LocalPort(), "99999");
    EXPECT_EQ(OpenChannel(Request(1)), 0);
    EXPECT_EQ(MessageBoxes().size(), 2u);
    EXPECT_EQ(FindChannel(1), nullptr);

    // The failed attempts leave nothing behind: the next channel is still the process's
    // first driver with exactly one worker.
    holder.Close();
    OpenOnFreePort(1);
    ASSERT_NE(FindChannel(1), nullptr);
    EXPECT_EQ(WorkerThreads().Size(), 1u);
    EXPECT_EQ(FindChannel(1)->Driver()->ThreadCount(), 1u);
}

TEST_F(ChannelTable, SecondUdpChannelIsRefusedWhileOneIsOpen) {
    OpenOnFreePort(1);
    OpenOnFreePort(2);
    EXPECT_EQ(MessageBoxes(), (std::vector{kAlreadyOpen}));
    EXPECT_EQ(FindChannel(2), nullptr);
    ASSERT_NE(FindChannel(1), nullptr);
    // Opening the occupied slot again is refused with the same message.
    OpenOnFreePort(1);
    EXPECT_EQ(MessageBoxes(), (std::vector{kAlreadyOpen, kAlreadyOpen}));
    ASSERT_NE(FindChannel(1), nullptr);

    // The last close releases the table, the port and every record; the next open builds
    // them again.
    CloseChannel(Request(1));
    EXPECT_FALSE(ChannelTableExists());
    EXPECT_EQ(Transport().port, nullptr);
    EXPECT_EQ(AllocatedRecordCount(), 0u);
    EXPECT_EQ(WorkerThreads().Size(), 0u);
    EXPECT_TRUE(SawDebugLine(" nsIOT_QUIT TreadID = 0x"));

    const uint16_t readPort = OpenOnFreePort(2);
    ASSERT_NE(FindChannel(2), nullptr);
    EXPECT_TRUE(ChannelTableExists());
    PeerSend(readPort, {0x10});
    EXPECT_TRUE(WaitFor([&] { return Received().size() == 1; }));
}

TEST_F(ChannelTable, ConfiguredChannelsAreComparedByConverterAddressAndPort) {
    Restart(0, 20);
    const uint32_t converter = 0x0A00000Au;
    records[0] = ChannelRecord{};
    records[0].flags = kChannelConfigured;
    records[0].remoteAddress = converter;
    records[0].remotePort = 10001;
    records[1] = records[0];
    records[2] = records[0];
    records[2].remotePort = 10002;
    records[3] = records[2];
    records[3].flags = kChannelConfigured | kChannelDisabled;

    const uint16_t firstPort = OpenOnFreePort(2, 0);
    OpenOnFreePort(3, 1);  // same address and port
    EXPECT_EQ(MessageBoxes(), (std::vector{kAlreadyOpen}));
    EXPECT_EQ(FindChannel(3), nullptr);
    OpenOnFreePort(4, 3);  // disabled: silently not opened
    EXPECT_EQ(FindChannel(4), nullptr);
    EXPECT_EQ(MessageBoxes().size(), 1u);

    const uint16_t secondPort = OpenOnFreePort(5, 2);  // same address, other port
    ASSERT_NE(FindChannel(5), nullptr);
    EXPECT_EQ(FindChannel(5)->Link().RemotePort(), 10002u);
    // The second driver's threads join the first one's on the shared port.
    EXPECT_GT(WorkerThreads().Size(), 1u);

    // Every datagram goes to the lowest open channel, whichever socket took it.
    PeerSend(secondPort, {0x55});
    ASSERT_TRUE(WaitFor([&] { return Received().size() == 1; }));
    EXPECT_EQ(Received()[0].channel, &FindChannel(2)->Link());

    // Closing the lower channel while the other's workers run: the other one keeps working.
    CloseChannel(Request(2));
    EXPECT_TRUE(ChannelTableExists());
    PeerSend(firstPort, {0x66});  // that socket is gone
    PeerSend(secondPort, {0x77});
    ASSERT_TRUE(WaitFor([&] { return Received().size() == 2; }));
    EXPECT_EQ(Received()[1].bytes, std::vector<uint8_t>{0x77});
    EXPECT_EQ(Received()[1].channel, &FindChannel(5)->Link());

    CloseChannel(Request(5));
    EXPECT_FALSE(ChannelTableExists());
    EXPECT_EQ(AllocatedRecordCount(), 0u);
}

}  // namespace
}  // namespace tarvu::testing
