// The session record's capture through the recorder and the store, read back by libpcap on
// Linux and with the same checks on Windows.
#include "record/session_recorder.h"
#include "record/session_store.h"
#include "tests/support/capture_reader.h"
#include "tests/support/temp_directory.h"
#include "traced_blocks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace tarvu {
namespace {

std::vector<CapturedPacket> ReadCapture(const std::string& path) {
    CaptureContents contents = ReadCaptureFile(path);
    EXPECT_TRUE(contents.ok) << contents.error;
    return std::move(contents.packets);
}

TEST(SessionRecorderTest, LogAndCaptureHoldTheSessionIncludingBlocksBeforeStart) {
    TempDirectory dir;
    const std::string logPath = (dir / "s.log").string();
    const std::string capPath = (dir / "s.pcap").string();
    std::vector<std::string> errors;
    SessionRecorder recorder([&errors](const std::string& m) { errors.push_back(m); });
    std::string error;
    ASSERT_TRUE(recorder.OpenLog(logPath, error)) << error;
    ASSERT_TRUE(recorder.OpenCapture(capPath, error)) << error;
    Feed(recorder, Make(0, 0, {0x7E, 0x41, 0x7F}, "r1\n"));
    recorder.Start(UdpSettings(), 0, 10001);
    Feed(recorder, Make(0, 1, {0x41}, "  r1 frame\n"));
    Feed(recorder, Make(1, 0, {0x42}, "s1\n"));
    Feed(recorder, Make(1, 1, {0x7E, 0x42, 0x7F}, "  s1 frame\n"));
    recorder.Stop();
    EXPECT_TRUE(errors.empty());

    const std::string log = ReadBytes(logPath);
    ASSERT_EQ(log.rfind("# ", 0), 0u) << log;
    EXPECT_NE(log.find("read port 10001, destination 127.0.0.1:10002, frame on\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.substr(log.find('\n') + 1), "r1\n  r1 frame\ns1\n  s1 frame\n");

    const auto packets = ReadCapture(capPath);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].Payload(), (std::vector<uint8_t>{0x7E, 0x41, 0x7F}));
    EXPECT_EQ(packets[0].SourcePort(), 10002);
    EXPECT_EQ(packets[0].DestinationPort(), 10001);
    EXPECT_EQ(packets[1].Payload(), (std::vector<uint8_t>{0x7E, 0x42, 0x7F}));
    EXPECT_EQ(packets[1].SourcePort(), 10001);
}

TEST(SessionRecorderTest, SentPacketWithoutFrameReachesTheCaptureWhileTheSessionRuns) {
    TempDirectory dir;
    const std::string capPath = (dir / "s.pcap").string();
    SessionRecorder recorder({});
    std::string error;
    ASSERT_TRUE(recorder.OpenCapture(capPath, error)) << error;
    recorder.Start(UdpSettings(), 0, 10001);
    Feed(recorder, Make(1, 0, {0x11, 0x01, 0x00, 0x30, 0x00}, "s\n"));
    std::vector<CapturedPacket> packets;
    for (int i = 0; i < 100 && packets.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // The writer may be in the middle of a write: no verdict on the file yet.
        packets = ReadCaptureFile(capPath).packets;
    }
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].Payload().size(), 5u);
    recorder.Stop();
}

// Blocks traced before the writer starts wait in the queue, so a small bound drops the later
// ones deterministically. Each file counts its own loss; a frame goes with its packet.
TEST(SessionRecorderTest, DropsAreCountedForEachFileAndReportedOnce) {
    TempDirectory dir;
    const std::string logPath = (dir / "s.log").string();
    const std::string capPath = (dir / "s.pcap").string();
    std::vector<std::string> errors;
    const Traced block = Make(0, 0, std::vector<uint8_t>(100, 0x41), "r\n");
    const size_t footprint = sizeof(SessionEvent) + 100 + 2;
    SessionRecorder recorder([&errors](const std::string& m) { errors.push_back(m); },
                             3 * footprint);
    std::string error;
    ASSERT_TRUE(recorder.OpenLog(logPath, error)) << error;
    ASSERT_TRUE(recorder.OpenCapture(capPath, error)) << error;
    for (int i = 0; i < 3; ++i) {
        Feed(recorder, block);
    }
    // Dropped with its coded frame: neither a lone frame nor a lone packet reaches the files.
    Feed(recorder, Make(1, 0, {0x42}, "s\n"));
    Feed(recorder, Make(1, 1, {0x7E, 0x42, 0x7F}, "  s frame\n"));
    Feed(recorder, block);
    recorder.Start(UdpSettings(), 0, 10001);
    // Once the writer has taken the queue, blocks are kept again.
    for (int i = 0; i < 500 && ReadBytes(logPath).find("r\nr\nr\n") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Feed(recorder, block);
    recorder.Stop();

    EXPECT_EQ(recorder.Dropped().logLines, 3u);
    EXPECT_EQ(recorder.Dropped().captureDatagrams, 2u);
    const auto report = recorder.DropReport();
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0], logPath + ": 3 lines dropped: the disk did not keep up");
    EXPECT_EQ(report[1], capPath + ": 2 datagrams dropped: the disk did not keep up");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("the disk does not keep up"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find(capPath), std::string::npos) << errors[0];
    const std::string log = ReadBytes(logPath);
    EXPECT_EQ(log.substr(log.find('\n') + 1),
              "# 3 lines dropped: the disk did not keep up\nr\nr\nr\nr\n");
    EXPECT_EQ(ReadCapture(capPath).size(), 4u);
}

// Without a log, the capture's losses were silent.
TEST(SessionRecorderTest, DropsOfACaptureOnlySessionAreSaid) {
    TempDirectory dir;
    const std::string capPath = (dir / "s.pcap").string();
    std::vector<std::string> errors;
    SessionRecorder recorder([&errors](const std::string& m) { errors.push_back(m); },
                             sizeof(SessionEvent) + 10);
    std::string error;
    ASSERT_TRUE(recorder.OpenCapture(capPath, error)) << error;
    for (int i = 0; i < 5; ++i) {
        Feed(recorder, Make(0, 0, {0x01}, "r\n"));
    }
    recorder.Start(UdpSettings(), 0, 10001);
    recorder.Stop();
    EXPECT_EQ(ReadCapture(capPath).size(), 1u);
    EXPECT_EQ(recorder.Dropped().logLines, 0u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(
        recorder.DropReport(),
        std::vector<std::string>{capPath + ": 4 datagrams dropped: the disk did not keep up"});
}

TEST(SessionStoreTest, SavedCaptureHoldsTheWireDatagrams) {
    TempDirectory dir;
    SessionStore store;
    Feed(store, Make(1, 0, {0x41}, "s\n"));
    Feed(store, Make(1, 1, {0x7E, 0x41, 0x7F}, "  s frame\n"));
    Feed(store, Make(0, 0, {0x7E, 0x41, 0x7F}, "r\n"));
    Feed(store, Make(0, 1, {0x41}, "  r frame\n"));
    Feed(store, Make(1, 0, {0x42}, "s2\n"));
    const std::string path = (dir / "saved.pcap").string();
    std::string error;
    ASSERT_TRUE(store.SaveCapture(path, 0, 10001, error)) << error;
    const auto packets = ReadCapture(path);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].Payload().size(), 3u);
    EXPECT_EQ(packets[0].SourcePort(), 10001);
    EXPECT_EQ(packets[1].SourcePort(), 10002);
    EXPECT_EQ(packets[2].Payload(), std::vector<uint8_t>{0x42});
}

// The read port changed mid-session: each datagram keeps the port it was traced with.
TEST(SessionStoreTest, EachDatagramKeepsTheReadPortOfItsTime) {
    TempDirectory dir;
    SessionStore store;
    uint16_t readPort = 10001;
    store.SetLocalPortSource([&readPort] { return readPort; });
    Feed(store, Make(0, 0, {0x01}, "r\n"));
    readPort = 10005;
    Feed(store, Make(1, 0, {0x02}, "s\n"));
    const std::string path = (dir / "ports.pcap").string();
    std::string error;
    ASSERT_TRUE(store.SaveCapture(path, 0, 9, error)) << error;
    const auto packets = ReadCapture(path);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].DestinationPort(), 10001);
    EXPECT_EQ(packets[1].SourcePort(), 10005);
}

}  // namespace
}  // namespace tarvu
