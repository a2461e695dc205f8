#include "app/settings.h"
#include "app/settings_keys.h"
#include "client_test_support.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

using testing::CliRun;
using testing::LoopbackPeer;
using testing::ReadFile;
using testing::WithoutTimes;
using Lines = std::vector<std::string>;

class ClientModeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(echo_.started) << ReadFile(dir_ / "echo.err"); }
    void TearDown() override {
        echo_.child.Terminate();
        echo_.child.Wait(5000);
    }
    std::vector<std::string> Arguments(std::vector<std::string> extra) const {
        std::vector<std::string> arguments = {
            "--settings", settings_.File().string(),  "--to",     "127.0.0.1",
            "--port",     std::to_string(echo_.port), "--listen", std::to_string(listenPort_)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return arguments;
    }
    std::string Stored(std::string_view key, std::string_view section = kSectionUdp) const {
        return settings_.Read(section, key);
    }

    testing::TempDirectory dir_;
    testing::EchoPeer echo_{dir_};
    uint16_t listenPort_ = testing::FreeUdpPort();
    Settings settings_{dir_ / "settings.ini"};
};

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
