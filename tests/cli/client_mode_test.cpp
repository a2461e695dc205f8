#include "app/settings.h"
#include "app/settings_keys.h"
#include "client_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarvu {
namespace {

using testing::CliRun;
using testing::LoopbackPeer;
using testing::ReadFile;
using testing::TempDirectory;

// Trace lines without their time stamp (the first 13 characters of a stage-0 line).
std::vector<std::string> TraceWithoutTimes(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line.size() > 13 && line[2] == ':' ? line.substr(13) : line);
    }
    return lines;
}

class ClientModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        echoPort_ = testing::FreeUdpPort();
        listenPort_ = testing::FreeUdpPort();
        ASSERT_TRUE(echo_.Start(TARVU_CLI_PATH, {"echo", "--listen", std::to_string(echoPort_)},
                                dir_ / "echo.out", dir_ / "echo.err"));
        ASSERT_TRUE(testing::WaitForText(dir_ / "echo.err", "listening", 5000));
    }
    void TearDown() override {
        echo_.Terminate();
        echo_.Wait(5000);
    }

    std::vector<std::string> ClientArguments(std::vector<std::string> extra) const {
        std::vector<std::string> arguments = {"--settings", (dir_ / "settings.ini").string(),
                                              "--to",       "127.0.0.1",
                                              "--port",     std::to_string(echoPort_),
                                              "--listen",   std::to_string(listenPort_)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return arguments;
    }

    std::string Stored(std::string_view key, std::string_view section = kSectionUdp) const {
        return Settings(dir_ / "settings.ini").Read(section, key);
    }

    TempDirectory dir_;
    ChildProcess echo_;
    uint16_t echoPort_ = 0;
    uint16_t listenPort_ = 0;
};

TEST_F(ClientModeTest, FirstSessionSendsTracesTheEchoAndSavesTheFields) {
    const CliRun run =
        testing::RunCli(dir_, ClientArguments({"--send", "11 01 00 30 00", "--wait", "1000"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string peer = LoopbackPeer(echoPort_);
    EXPECT_EQ(TraceWithoutTimes(run.out), (std::vector<std::string>{peer + " <-- 11 01 00 30 00",
                                                                    peer + " --> 11 01 00 30 00"}))
        << run.out;
    // The echo saw the datagram come from the read port.
    EXPECT_NE(ReadFile(dir_ / "echo.out").find(LoopbackPeer(listenPort_) + " --> 11 01 00 30 00"),
              std::string::npos);

    EXPECT_EQ(Stored(kKeyIpAddress), "127.0.0.1");
    EXPECT_EQ(Stored(kKeySendPort), std::to_string(echoPort_));
    EXPECT_EQ(Stored(kKeyReadPort), std::to_string(listenPort_));
    EXPECT_EQ(Stored(kKeySubstitution), "нет");
    EXPECT_EQ(Stored(kKeyPacket), "11 01 00 30 00");
    EXPECT_EQ(Stored(kKeyMacAddress), "11 01 00 30 00");
    EXPECT_EQ(Stored(kKeyRsaGost, kSectionCipher), "нет");
}

TEST_F(ClientModeTest, FrameCodingShowsContinuationLinesAndIsSaved) {
    const CliRun run = testing::RunCli(
        dir_, ClientArguments({"--frame", "--send", "7e 01", "--count", "1", "--wait", "5000"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string peer = LoopbackPeer(echoPort_);
    const std::string filler = std::string(31, ' ') + "...";
    EXPECT_EQ(TraceWithoutTimes(run.out),
              (std::vector<std::string>{peer + " <-- 7E 01", filler + " <-- 7E 7D 3E 7D 41 7F",
                                        peer + " --> 7E 7D 3E 7D 41 7F", filler + " --> 7E 01"}))
        << run.out;
    EXPECT_EQ(Stored(kKeySubstitution), "да");
}

TEST_F(ClientModeTest, StoredFieldsServeWhenNoOptionIsGiven) {
    // The stored read port is taken; --listen must replace it before the channel opens.
    PlainUdpSocket holder;
    std::string error;
    ASSERT_TRUE(holder.Bind(0, error)) << error;
    Settings settings(dir_ / "settings.ini");
    settings.Write(kSectionUdp, kKeyReadPort, std::to_string(holder.LocalPort()));
    settings.Write(kSectionUdp, kKeySendPort, std::to_string(echoPort_));
    settings.Write(kSectionUdp, kKeyIpAddress, "127.0.0.1");
    settings.Write(kSectionUdp, kKeyPacket, "0A 0B");

    const CliRun run = testing::RunCli(
        dir_, {"--settings", (dir_ / "settings.ini").string(), "--listen",
               std::to_string(listenPort_), "--send", "", "--count", "1", "--wait", "5000"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("порт занят"), std::string::npos) << run.err;
    EXPECT_EQ(TraceWithoutTimes(run.out).back(), LoopbackPeer(echoPort_) + " --> 0A 0B") << run.out;
    EXPECT_EQ(Stored(kKeyReadPort), std::to_string(listenPort_));
}

TEST_F(ClientModeTest, SigtermEndsTheWaitWithTheClosingSequence) {
    ChildProcess client;
    ASSERT_TRUE(client.Start(TARVU_CLI_PATH, ClientArguments({"--send", "01"}), dir_ / "c.out",
                             dir_ / "c.err"));
    ASSERT_TRUE(testing::WaitForText(dir_ / "c.out", "--> 01", 5000)) << ReadFile(dir_ / "c.err");
    EXPECT_FALSE(client.Wait(200).has_value()) << "ended without a signal";
    client.Terminate();
    EXPECT_EQ(client.Wait(5000), 0);
    EXPECT_EQ(Stored(kKeyMacAddress), "01");
    EXPECT_EQ(Stored(kKeyReadPort), std::to_string(listenPort_));
}

TEST_F(ClientModeTest, ATakenReadPortExitsWithOne) {
    PlainUdpSocket holder;
    std::string error;
    ASSERT_TRUE(holder.Bind(0, error)) << error;
    listenPort_ = holder.LocalPort();
    const CliRun run = testing::RunCli(dir_, ClientArguments({"--send", "01", "--wait", "0"}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cnsLibnetProvider::cnsLibnetProvider: Проблема с инициализаце(порт "
                           "занят?)"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
}

TEST_F(ClientModeTest, UsageErrorsExitWithTwoAndTouchNothing) {
    for (const std::vector<std::string>& extra : {std::vector<std::string>{"--port", "65536"},
                                                  {"--to", "converter"},
                                                  {"--frame", "--no-frame"},
                                                  {"--interval", "-1"},
                                                  {"--count", "0"},
                                                  {"--bogus"}}) {
        const CliRun run = testing::RunCli(dir_, ClientArguments(extra));
        EXPECT_EQ(run.exitCode, 2) << extra[0] << ": " << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir_ / "settings.ini")) << extra[0];
    }
    const CliRun help = testing::RunCli(dir_, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"--to", "--listen", "--send", "--frame", "--wait", "First session"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
}

}  // namespace
}  // namespace tarvu
