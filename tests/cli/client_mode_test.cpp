#include "app/settings.h"
#include "app/settings_keys.h"
#include "client_mode_fixture.h"
#include "client_test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace tarvu {
namespace {

TEST_F(ClientModeTest, FirstSessionSendsTracesTheEchoAndSavesTheFields) {
    const CliRun run =
        testing::RunCli(dir_, Arguments({"--send", "11 01 00 30 00", "--wait", "1000"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string peer = LoopbackPeer(echo_.port);
    EXPECT_EQ(WithoutTimes(run.out),
              (Lines{peer + " <-- 11 01 00 30 00", peer + " --> 11 01 00 30 00"}));
    // The datagram left from the read port.
    EXPECT_EQ(WithoutTimes(ReadFile(dir_ / "echo.out")).front(),
              LoopbackPeer(listenPort_) + " --> 11 01 00 30 00");

    EXPECT_EQ(Stored(kKeyIpAddress), "127.0.0.1");
    EXPECT_EQ(Stored(kKeySendPort), std::to_string(echo_.port));
    EXPECT_EQ(Stored(kKeyReadPort), std::to_string(listenPort_));
    EXPECT_EQ(Stored(kKeySubstitution), "нет");
    EXPECT_EQ(Stored(kKeyPacket), "11 01 00 30 00");
    EXPECT_EQ(Stored(kKeyMacAddress), "11 01 00 30 00");
    EXPECT_EQ(Stored(kKeyRsaGost, kSectionCipher), "нет");
}

// A Cyrillic letter in the packet text is one character: "7Ж" is one group, one byte.
TEST_F(ClientModeTest, CyrillicPacketTextSendsOneByteAndIsStoredInTheCodePage) {
    const CliRun run = testing::RunCli(dir_, Arguments({"--send", "7Ж", "--wait", "1000"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string peer = LoopbackPeer(echo_.port);
    EXPECT_EQ(WithoutTimes(run.out), (Lines{peer + " <-- 07", peer + " --> 07"}));
    EXPECT_EQ(Stored(kKeyPacket), "7Ж");
    EXPECT_EQ(Stored(kKeyMacAddress), "7Ж");
    const std::string file = ReadFile(settings_.File());
    EXPECT_NE(file.find("PACKETIK=7\xC6\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("(hex)=7\xC6\r\n"), std::string::npos) << file;
}

TEST_F(ClientModeTest, FrameCodingShowsContinuationLinesAndIsSaved) {
    const CliRun run = testing::RunCli(
        dir_, Arguments({"--frame", "--send", "7e 01", "--count", "1", "--wait", "5000"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string peer = LoopbackPeer(echo_.port);
    const std::string filler = std::string(31, ' ') + "...";
    EXPECT_EQ(WithoutTimes(run.out),
              (Lines{peer + " <-- 7E 01", filler + " <-- 7E 7D 3E 7D 41 7F",
                     peer + " --> 7E 7D 3E 7D 41 7F", filler + " --> 7E 01"}));
    EXPECT_EQ(Stored(kKeySubstitution), "да");
}

TEST_F(ClientModeTest, OptionsReplaceStoredFieldsBeforeTheChannelOpens) {
    // The stored read port is taken: opening on it first would fail.
    PlainUdpSocket holder;
    std::string error;
    ASSERT_TRUE(holder.Bind(0, error)) << error;
    settings_.Write(kSectionUdp, kKeyReadPort, std::to_string(holder.LocalPort()));
    settings_.Write(kSectionUdp, kKeySendPort, std::to_string(echo_.port));
    settings_.Write(kSectionUdp, kKeyIpAddress, "127.0.0.1");
    settings_.Write(kSectionUdp, kKeyPacket, "0A 0B");

    const CliRun run = testing::RunCli(
        dir_, {"--settings", settings_.File().string(), "--listen", std::to_string(listenPort_),
               "--send", "", "--count", "1", "--wait", "5000"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("порт занят"), std::string::npos) << run.err;
    EXPECT_EQ(WithoutTimes(run.out).back(), LoopbackPeer(echo_.port) + " --> 0A 0B");
    EXPECT_EQ(Stored(kKeyReadPort), std::to_string(listenPort_));
}

TEST_F(ClientModeTest, SigtermEndsTheWaitWithTheClosingSequence) {
    ChildProcess client;
    ASSERT_TRUE(
        client.Start(TARVU_CLI_PATH, Arguments({"--send", "01"}), dir_ / "c.out", dir_ / "c.err"));
    ASSERT_TRUE(testing::WaitForText(dir_ / "c.out", "--> 01", 5000)) << ReadFile(dir_ / "c.err");
    EXPECT_FALSE(client.Wait(200).has_value()) << "ended without a signal";
    client.Terminate();
    EXPECT_EQ(client.Wait(5000), 0);
    EXPECT_EQ(Stored(kKeyMacAddress), "01");
}

TEST_F(ClientModeTest, SighupFromAClosedTerminalRunsTheClosingSequence) {
    ChildProcess client;
    ASSERT_TRUE(
        client.Start(TARVU_CLI_PATH, Arguments({"--send", "02"}), dir_ / "c.out", dir_ / "c.err"));
    ASSERT_TRUE(testing::WaitForText(dir_ / "c.out", "--> 02", 5000)) << ReadFile(dir_ / "c.err");
    client.Hangup();
    EXPECT_EQ(client.Wait(5000), 0);
    EXPECT_EQ(Stored(kKeyMacAddress), "02");
    EXPECT_EQ(Stored(kKeyReadPort), std::to_string(listenPort_));
}

TEST_F(ClientModeTest, PollingKeepsOneStepPendingSoTheReplyIsTracedWhenTheWaitEnds) {
    // The message step blocks the worker for 3000 ms; polling every millisecond must not queue
    // thousands of steps ahead of the echoed reply.
    const CliRun run =
        testing::RunCli(dir_, Arguments({"--message", "ca_SET_1:3:5:0x22", "--poll-interval", "1",
                                         "--wait", "3600", "--debug"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string peer = LoopbackPeer(echo_.port);
    const Lines lines = WithoutTimes(run.out);
    ASSERT_GE(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0].substr(0, peer.size() + 4), peer + " <--");
    EXPECT_EQ(lines[1], peer + " -->" + lines[0].substr(peer.size() + 4));
    size_t steps = 0;
    for (size_t at = run.err.find("nsT_TIMER_SEND"); at != std::string::npos;
         at = run.err.find("nsT_TIMER_SEND", at + 1)) {
        ++steps;
    }
    EXPECT_GE(steps, 1u);
    EXPECT_LE(steps, 5u) << "send steps piled up";
}

// Sends pressed faster than the 300 ms each packet holds the worker: every one leaves, and
// --wait starts once the last has.
TEST_F(ClientModeTest, WaitCountsFromTheLastPacketLeavingNotTheLastPress) {
    Lines arguments = {"--interval", "50", "--wait", "800"};
    for (int i = 1; i <= 11; ++i) {
        arguments.insert(arguments.end(), {"--send", "0" + std::string(1, "0123456789A"[i - 1])});
    }
    const CliRun run = testing::RunCli(dir_, Arguments(arguments));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::set<std::string> sent;
    size_t received = 0;
    for (const std::string& line : WithoutTimes(run.out)) {
        const std::string peer = LoopbackPeer(echo_.port);
        if (line.rfind(peer + " <-- ", 0) == 0) {
            sent.insert(line.substr(peer.size() + 5));
        } else if (line.rfind(peer + " --> ", 0) == 0) {
            ++received;
        }
    }
    EXPECT_EQ(sent.size(), 11u) << run.out;
    EXPECT_EQ(received, 11u) << run.out;
}

// The number after "tarvu-cli: " on the stderr line that ends with `what`, 0 without one.
size_t CountOnStderr(const std::string& err, const std::string& what) {
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("tarvu-cli: ", 0) == 0 && line.size() >= what.size() &&
            line.compare(line.size() - what.size(), what.size(), what) == 0) {
            return std::stoul(line.substr(11));
        }
    }
    return 0;
}

TEST_F(ClientModeTest, PacketsStillQueuedAtASignalAreCounted) {
    Lines arguments = {"--interval", "0"};
    for (int i = 0; i < 11; ++i) {
        arguments.insert(arguments.end(), {"--send", "11 01 00 30 00"});
    }
    ChildProcess client;
    ASSERT_TRUE(client.Start(TARVU_CLI_PATH, Arguments(arguments), dir_ / "c.out", dir_ / "c.err"));
    ASSERT_TRUE(testing::WaitForText(dir_ / "c.out", " <-- ", 5000)) << ReadFile(dir_ / "c.err");
    // Within the first packet's 300 ms wait, once all eleven are pressed.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    client.Interrupt();
    EXPECT_EQ(client.Wait(5000), 0);
    const std::string err = ReadFile(dir_ / "c.err");
    size_t sent = 0;
    for (const std::string& line : WithoutTimes(ReadFile(dir_ / "c.out"))) {
        sent += line.find(" <-- ") != std::string::npos ? 1 : 0;
    }
    const size_t queued = CountOnStderr(err, " not sent");
    EXPECT_GE(queued, 1u) << err;
    EXPECT_EQ(sent + queued + CountOnStderr(err, " not queued"), 11u)
        << err << ReadFile(dir_ / "c.out");
}

TEST_F(ClientModeTest, ATakenReadPortExitsWithOneAndUsageErrorsWithTwo) {
    PlainUdpSocket holder;
    std::string error;
    ASSERT_TRUE(holder.Bind(0, error)) << error;
    listenPort_ = holder.LocalPort();
    const CliRun taken = testing::RunCli(dir_, Arguments({"--send", "01", "--wait", "0"}));
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_NE(taken.err.find("cnsLibnetProvider::cnsLibnetProvider: Проблема с инициализаце"),
              std::string::npos)
        << taken.err;
    EXPECT_EQ(taken.out, "");

    std::filesystem::remove(settings_.File());
    for (const Lines& extra : {Lines{"--port", "65536"}, Lines{"--to", "converter"},
                               Lines{"--frame", "--no-frame"}, Lines{"--count", "0"}}) {
        EXPECT_EQ(testing::RunCli(dir_, Arguments(extra)).exitCode, 2) << extra[0];
        EXPECT_FALSE(std::filesystem::exists(settings_.File())) << extra[0];
    }
    const CliRun help = testing::RunCli(dir_, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("First session"), std::string::npos);
}

}  // namespace
}  // namespace tarvu
