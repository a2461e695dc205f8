#include "record/session_recorder.h"
#include "record/session_store.h"
#include "tests/support/temp_directory.h"
#include "traced_blocks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <pcap/pcap.h>
#include <sys/mount.h>
#include <thread>

namespace tarvu {
namespace {

struct Packet {
    std::vector<uint8_t> payload;
    uint16_t sourcePort;
    uint16_t destinationPort;
};

std::vector<Packet> ReadCapture(const std::string& path) {
    std::vector<Packet> packets;
    char errbuf[PCAP_ERRBUF_SIZE];
    pcap_t* in = pcap_open_offline(path.c_str(), errbuf);
    EXPECT_NE(in, nullptr) << errbuf;
    if (in == nullptr) {
        return packets;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(in, &header, &data) == 1) {
        packets.push_back({std::vector<uint8_t>(data + 28, data + header->caplen),
                           static_cast<uint16_t>(data[20] << 8 | data[21]),
                           static_cast<uint16_t>(data[22] << 8 | data[23])});
    }
    pcap_close(in);
    return packets;
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
    EXPECT_EQ(packets[0].payload, (std::vector<uint8_t>{0x7E, 0x41, 0x7F}));
    EXPECT_EQ(packets[0].sourcePort, 10002);
    EXPECT_EQ(packets[0].destinationPort, 10001);
    EXPECT_EQ(packets[1].payload, (std::vector<uint8_t>{0x7E, 0x42, 0x7F}));
    EXPECT_EQ(packets[1].sourcePort, 10001);
}

TEST(SessionRecorderTest, SentPacketWithoutFrameReachesTheCaptureWhileTheSessionRuns) {
    TempDirectory dir;
    const std::string capPath = (dir / "s.pcap").string();
    SessionRecorder recorder({});
    std::string error;
    ASSERT_TRUE(recorder.OpenCapture(capPath, error)) << error;
    recorder.Start(UdpSettings(), 0, 10001);
    Feed(recorder, Make(1, 0, {0x11, 0x01, 0x00, 0x30, 0x00}, "s\n"));
    std::vector<Packet> packets;
    for (int i = 0; i < 100 && packets.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        packets = ReadCapture(capPath);
    }
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].payload.size(), 5u);
    recorder.Stop();
}

TEST(SessionRecorderTest, FailingLogIsReportedOnceAndTheCaptureGoesOn) {
    TempDirectory dir;
    const std::string capPath = (dir / "s.pcap").string();
    std::vector<std::string> errors;
    SessionRecorder recorder([&errors](const std::string& m) { errors.push_back(m); });
    std::string error;
    ASSERT_TRUE(recorder.OpenLog("/dev/full", error)) << error;
    ASSERT_TRUE(recorder.OpenCapture(capPath, error)) << error;
    recorder.Start(UdpSettings(), 0, 10001);
    for (int i = 0; i < 5; ++i) {
        Feed(recorder, Make(0, 0, {static_cast<uint8_t>(i)}, "r\n"));
    }
    recorder.Stop();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("/dev/full: No space left on device"), std::string::npos);
    EXPECT_EQ(ReadCapture(capPath).size(), 5u);
}

// A disk that fills while the session runs: each file reports once and closes, the other
// file and the session go on, and what was written before stays readable.
TEST(SessionRecorderTest, DiskFillingUpMidSession) {
    TempDirectory dir;
    const std::filesystem::path small = dir / "small";
    std::filesystem::create_directory(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::string capPath = (dir / "s.pcap").string();
    std::vector<std::string> errors;
    {
        SessionRecorder recorder([&errors](const std::string& m) { errors.push_back(m); });
        std::string error;
        ASSERT_TRUE(recorder.OpenLog((small / "s.log").string(), error)) << error;
        ASSERT_TRUE(recorder.OpenCapture(capPath, error)) << error;
        recorder.Start(UdpSettings(), 0, 10001);
        const std::string line(99, 'x');
        for (int i = 0; i < 2000; ++i) {
            Feed(recorder, Make(0, 0, {0x01, 0x02}, line + "\n"));
            if (i % 100 == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        recorder.Stop();
    }
    const std::string log = ReadBytes(small / "s.log");
    ::umount(small.c_str());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("No space left on device"), std::string::npos) << errors[0];
    EXPECT_GT(log.size(), 32u * 1024u);
    EXPECT_EQ(ReadCapture(capPath).size(), 2000u);
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
    EXPECT_EQ(packets[0].payload.size(), 3u);
    EXPECT_EQ(packets[0].sourcePort, 10001);
    EXPECT_EQ(packets[1].sourcePort, 10002);
    EXPECT_EQ(packets[2].payload, std::vector<uint8_t>{0x42});
    EXPECT_FALSE(store.SaveCapture("/dev/full", 0, 10001, error));
}

// What the system told about received datagrams reaches both captures: the receive time as
// the record's time stamp, a cut datagram's real length in the record and its headers, a
// datagram of no bytes as a record of its own; a note line without bytes goes to the log only.
TEST(SessionRecordTest, CapturesKeepTheReceiveTimeAndTheLengthThatArrived) {
    TempDirectory dir;
    Traced cut = Make(0, 0, std::vector<uint8_t>(500, 0x5A), "cut\n");
    cut.block.receivedMicros = 1'700'000'000'250'000;
    cut.block.wireLength = 620;
    Traced empty = Make(0, 0, {}, "empty\n");
    empty.block.data = nullptr;
    Traced note = Make(0, 1, {}, "note\n");
    const auto when = Clock::time_point(std::chrono::seconds(1'800'000'000));

    SessionRecorder recorder({});
    SessionStore store;
    std::string error;
    ASSERT_TRUE(recorder.OpenCapture((dir / "r.pcap").string(), error)) << error;
    ASSERT_TRUE(recorder.OpenLog((dir / "r.log").string(), error)) << error;
    recorder.Start(UdpSettings(), 0, 10001);
    for (RecordSink* sink :
         {static_cast<RecordSink*>(&recorder), static_cast<RecordSink*>(&store)}) {
        for (const Traced* t : {&cut, &empty, &note}) {
            Feed(*sink, *t, when);
        }
    }
    recorder.Stop();
    ASSERT_TRUE(store.SaveCapture((dir / "s.pcap").string(), 0, 10001, error)) << error;
    const std::string log = ReadBytes((dir / "r.log").string());
    EXPECT_EQ(log.substr(log.find('\n') + 1), "cut\nempty\nnote\n");

    for (const char* name : {"r.pcap", "s.pcap"}) {
        char errbuf[PCAP_ERRBUF_SIZE];
        pcap_t* in = pcap_open_offline_with_tstamp_precision((dir / name).c_str(),
                                                             PCAP_TSTAMP_PRECISION_MICRO, errbuf);
        ASSERT_NE(in, nullptr) << errbuf;
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        ASSERT_EQ(pcap_next_ex(in, &header, &data), 1) << name;
        EXPECT_EQ(header->ts.tv_sec, 1'700'000'000) << name;
        EXPECT_EQ(header->ts.tv_usec, 250'000) << name;
        EXPECT_EQ(header->caplen, 28u + 500u) << name;
        EXPECT_EQ(header->len, 28u + 620u) << name;
        EXPECT_EQ(data[2] << 8 | data[3], 28 + 620) << name;
        EXPECT_EQ(data[24] << 8 | data[25], 8 + 620) << name;
        ASSERT_EQ(pcap_next_ex(in, &header, &data), 1) << name;
        EXPECT_EQ(header->ts.tv_sec, 1'800'000'000) << name;
        EXPECT_EQ(header->caplen, 28u) << name;
        EXPECT_EQ(header->len, 28u) << name;
        EXPECT_EQ(pcap_next_ex(in, &header, &data), PCAP_ERROR_BREAK) << name;
        pcap_close(in);
    }
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
    EXPECT_EQ(packets[0].destinationPort, 10001);
    EXPECT_EQ(packets[1].sourcePort, 10005);
}

}  // namespace
}  // namespace tarvu
