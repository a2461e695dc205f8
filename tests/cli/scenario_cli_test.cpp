// tarvu-cli run against tarvu-cli simulate (and against peers that misbehave), end to end.

#include "app/settings.h"
#include "scenario_test_support.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tarvu {
namespace {

using testing::ReadFile;
using testing::RunCli;
using testing::SimulatorPeer;
using testing::TempDirectory;
using testing::WriteFile;

const std::string kKey(64, '5');

class ScenarioCli : public ::testing::Test {
protected:
    // Runs `scenario` (a file written to the temporary folder) with `extra` options.
    testing::CliRun Run(const std::string& scenario, std::vector<std::string> extra = {},
                        int timeoutMs = 20000) {
        WriteFile(dir_ / "t.scenario", scenario);
        std::vector<std::string> arguments = {"run", (dir_ / "t.scenario").string(), "--settings",
                                              (dir_ / "settings.ini").string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return RunCli(dir_, arguments, timeoutMs);
    }
    std::string Link(uint16_t port) const {
        return "to 127.0.0.1:" + std::to_string(port) + "\nlisten " + std::to_string(listenPort_) +
               "\n";
    }

    TempDirectory dir_;
    uint16_t listenPort_ = testing::FreeUdpPort();
};

TEST_F(ScenarioCli, FramedAndEncryptedBothWaysAgainstTheSimulator) {
    SimulatorPeer sim(dir_, "frame on\nkey " + kKey +
                                "\non code=ca_RELOCK reply dev={dev} addr2=00 code=ma_RELOCK "
                                "body={body}\n"
                                "on type=30 qual=00 echo\n");
    ASSERT_TRUE(sim.started) << ReadFile(sim.err);
    const testing::CliRun run = Run(Link(sim.port) + "frame on\nkey " + kKey +
                                    "\n"
                                    "test \"relock\"\n"
                                    "  send dev=0102 addr2=00 code=ca_RELOCK body=07 00 D1\n"
                                    "  expect code=ma_RELOCK dev=102 body=07 00 D1 within 2s\n"
                                    "test \"polls\"\n"
                                    "  repeat 3\n"
                                    "    send 11 {n} 00 30 00\n"
                                    "    expect 11 ?? 00 30 00 within 2s\n"
                                    "  end\n");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("ok relock\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("ok polls\n"), std::string::npos);
    // Sent encrypted (addresses in clear) and framed; the decrypted reply is said below it.
    EXPECT_NE(run.out.find("<-- A1 02 01 00 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("... <-- 7E "), std::string::npos);
    EXPECT_NE(run.out.find("code=C9(ma_RELOCK) body=07 00 D1"), std::string::npos);
    EXPECT_EQ(sim.Stop(), 0);
    const std::string report = ReadFile(sim.err);
    EXPECT_NE(report.find("on code=ca_RELOCK reply: matched 1, sent 1"), std::string::npos)
        << report;
    EXPECT_NE(report.find("on type=30 qual=00 echo: matched 3, sent 3"), std::string::npos);
}

TEST_F(ScenarioCli, WrongFilesStopTheRunBeforeAnythingIsSent) {
    PlainUdpSocket peer;
    std::string error;
    ASSERT_TRUE(peer.Bind(0, error)) << error;
    WriteFile(dir_ / "good.scenario", Link(peer.LocalPort()) + "test \"a\"\n  send 11 01\n");
    WriteFile(dir_ / "bad.scenario", "test \"b\"\n  send 11 01\n  expect 11 ?? within 5\n");
    const testing::CliRun run =
        RunCli(dir_, {"run", (dir_ / "good.scenario").string(), (dir_ / "bad.scenario").string(),
                      "--junit", (dir_ / "j.xml").string()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("bad.scenario:3:23: a duration needs its unit"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
    uint8_t buffer[64];
    UdpPeer from;
    EXPECT_EQ(peer.ReceiveFrom(buffer, sizeof buffer, from, 300), -1) << "nothing left";
    EXPECT_FALSE(std::filesystem::exists(dir_ / "j.xml"));

    EXPECT_EQ(RunCli(dir_, {"run", (dir_ / "missing.scenario").string()}).exitCode, 2);
    const testing::CliRun junit = RunCli(
        dir_, {"run", (dir_ / "good.scenario").string(), "--junit", (dir_ / "no/j.xml").string()});
    EXPECT_EQ(junit.exitCode, 2) << junit.err;
    EXPECT_EQ(peer.ReceiveFrom(buffer, sizeof buffer, from, 300), -1);

    WriteFile(dir_ / "bad.rules", "listen 1\non 11 reply 11 {nn}\n");
    const testing::CliRun rules = RunCli(dir_, {"simulate", (dir_ / "bad.rules").string()});
    EXPECT_EQ(rules.exitCode, 2);
    EXPECT_NE(rules.err.find("bad.rules:2:16: unknown placeholder"), std::string::npos)
        << rules.err;
}

TEST_F(ScenarioCli, APeerThatNeverAnswersEndsByTheWindowsWithEveryResultWritten) {
    PlainUdpSocket silent;
    std::string error;
    ASSERT_TRUE(silent.Bind(0, error)) << error;
    const auto start = std::chrono::steady_clock::now();
    const testing::CliRun run = Run(Link(silent.LocalPort()) +
                                        "window 200ms\n"
                                        "test \"one\"\n  send 11 01 00 30 00\n  expect 11 *\n"
                                        "test \"two\"\n  expect code=A3 within 100ms\n"
                                        "test \"three & <four>\"\n  expect none within 100ms\n",
                                    {"--junit", (dir_ / "j.xml").string(), "--tap"});
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    EXPECT_NE(run.out.find("TAP version 14\n1..3\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("not ok 1 - one\n  ---\n  message: \"line 6: expected 11 * within "
                           "200ms, received nothing\"\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  expected: \"11 *\"\n"), std::string::npos);
    EXPECT_NE(run.out.find("  got: \"nothing\"\n"), std::string::npos);
    EXPECT_NE(run.out.find("not ok 2 - two\n"), std::string::npos);
    EXPECT_NE(run.out.find("ok 3 - three & <four>\n"), std::string::npos);
    EXPECT_NE(run.out.find("# "), std::string::npos) << "the trace as comments";
    const std::string junit = ReadFile(dir_ / "j.xml");
    EXPECT_NE(junit.find("tests=\"3\" failures=\"2\""), std::string::npos) << junit;
    EXPECT_NE(junit.find("<testcase name=\"three &amp; &lt;four&gt;\""), std::string::npos);
    EXPECT_NE(run.err.find("3 tests, 1 passed, 2 failed"), std::string::npos) << run.err;
}

TEST_F(ScenarioCli, TheLinkThatCannotBeUsedExitsThree) {
    PlainUdpSocket holder;
    std::string error;
    ASSERT_TRUE(holder.Bind(0, error)) << error;
    const uint16_t taken = holder.LocalPort();
    const testing::CliRun run =
        Run("to 127.0.0.1:9\nlisten " + std::to_string(taken) + "\ntest \"a\"\n  expect *\n",
            {"--junit", (dir_ / "j.xml").string()});
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_NE(ReadFile(dir_ / "j.xml").find("<error message=\"the link could not be used"),
              std::string::npos);
    WriteFile(dir_ / "r.rules", "listen " + std::to_string(taken) + "\n");
    const testing::CliRun sim = RunCli(dir_, {"simulate", (dir_ / "r.rules").string()});
    EXPECT_EQ(sim.exitCode, 3);
    EXPECT_NE(sim.err.find("cannot listen on UDP port"), std::string::npos) << sim.err;
}

TEST_F(ScenarioCli, SettingsStandInForHeaderStatementsAndAreNeverWritten) {
    SimulatorPeer sim(dir_, "otherwise echo\n");
    ASSERT_TRUE(sim.started) << ReadFile(sim.err);
    // The settings file holds code page 1251, as on Windows: write it through the product.
    Settings settings(dir_ / "settings.ini");
    settings.Write("UDP", "IP ADDRES", "127.0.0.1");
    settings.Write("UDP", "ПОРТ OUT", std::to_string(sim.port));
    settings.Write("UDP", "ПОРТ IN", std::to_string(listenPort_));
    const std::string before = ReadFile(dir_ / "settings.ini");
    const testing::CliRun run = Run("test \"echo\"\n  send 11 01 00 30 00\n  expect 11 01 *\n");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(ReadFile(dir_ / "settings.ini"), before);

    const testing::CliRun fresh = RunCli(
        dir_,
        {"run", (dir_ / "t.scenario").string(), "--settings", (dir_ / "absent.ini").string(),
         "--to", "127.0.0.1:" + std::to_string(sim.port), "--listen", std::to_string(listenPort_)});
    EXPECT_EQ(fresh.exitCode, 0) << fresh.out << fresh.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "absent.ini"));
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(ScenarioCli, RepeatSendsOnAnExactScheduleWithCounters) {
    PlainUdpSocket peer;
    std::string error;
    ASSERT_TRUE(peer.Bind(0, error)) << error;
    testing::CliRun run;
    std::thread client([&] {
        run = RunCli(dir_, {"--settings", (dir_ / "settings.ini").string(), "--to", "127.0.0.1",
                            "--port", std::to_string(peer.LocalPort()), "--listen",
                            std::to_string(listenPort_), "--send", "11 01 00 30 {n}", "--send",
                            "22 {n:2}", "--repeat", "4", "--every", "40", "--wait", "0"});
    });
    std::vector<std::vector<uint8_t>> received;
    std::vector<std::chrono::steady_clock::time_point> times;
    for (int i = 0; i < 8; ++i) {
        uint8_t buffer[64];
        UdpPeer from;
        const int n = peer.ReceiveFrom(buffer, sizeof buffer, from, 5000);
        if (n < 0) {
            break;
        }
        times.push_back(std::chrono::steady_clock::now());
        received.emplace_back(buffer, buffer + n);
    }
    client.join();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(received.size(), 8u) << run.out << run.err;
    for (size_t k = 0; k < 8; ++k) {
        const uint8_t copy = static_cast<uint8_t>(k / 2);
        const std::vector<uint8_t> poll = {0x11, 0x01, 0x00, 0x30, copy};
        const std::vector<uint8_t> counted = {0x22, copy, 0x00};
        EXPECT_EQ(received[k], k % 2 == 0 ? poll : counted) << k;
    }
    // Seven periods of 40 ms; with the engine's 300 ms after each packet it would take 2.1 s.
    const auto span = times.back() - times.front();
    EXPECT_GT(span, std::chrono::milliseconds(250));
    EXPECT_LT(span, std::chrono::milliseconds(600));

    const testing::CliRun bad = RunCli(dir_, {"--settings", (dir_ / "settings.ini").string(),
                                              "--send", "11 0{n}", "--repeat", "2"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("column 4: half a byte"), std::string::npos) << bad.err;
}

TEST_F(ScenarioCli, BackToBackSendsLeaveInTheirOrder) {
    // The engine puts a typed packet at the head of its queue, so packets handed over faster
    // than the worker takes them would leave newest first.
    PlainUdpSocket peer;
    std::string error;
    ASSERT_TRUE(peer.Bind(0, error)) << error;
    std::string scenario = Link(peer.LocalPort()) + "test \"burst\"\n";
    for (int i = 0; i < 50; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "  send 11 01 00 30 %02X\n", i);
        scenario += line;
    }
    testing::CliRun run;
    std::thread runner([&] { run = Run(scenario); });
    std::vector<int> order;
    for (int i = 0; i < 50; ++i) {
        uint8_t buffer[16];
        UdpPeer from;
        if (peer.ReceiveFrom(buffer, sizeof buffer, from, 5000) != 5) {
            break;
        }
        order.push_back(buffer[4]);
    }
    runner.join();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<int> expected(50);
    for (int i = 0; i < 50; ++i) {
        expected[static_cast<size_t>(i)] = i;
    }
    EXPECT_EQ(order, expected);
}

TEST_F(ScenarioCli, TwoSimulatorsAnsweringEachOtherStayWithinTheirLimit) {
    // Each answers everything twice: without bounds the packets would double at every bounce.
    SimulatorPeer first(dir_, "limit 200\notherwise echo duplicate 100%\n", "first");
    ASSERT_TRUE(first.started) << ReadFile(first.err);
    SimulatorPeer second(dir_,
                         "limit 200\notherwise echo duplicate 100%\nto 127.0.0.1:" +
                             std::to_string(first.port) + "\nevery 1s send 11 01 00 30 00\n",
                         "second");
    ASSERT_TRUE(second.started) << ReadFile(second.err);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(second.Stop(), 0);
    EXPECT_EQ(first.Stop(), 0);
    for (const std::filesystem::path& err : {first.err, second.err}) {
        const std::string report = ReadFile(err);
        EXPECT_NE(report.find("over the limit of 200 replies a second"), std::string::npos)
            << report;
        // At most the burst (20) plus 200 a second over the run, and a margin for start-up.
        const size_t sent = std::stoul(report.substr(report.find("sent ") + 5));
        EXPECT_LE(sent, 20u + 200u * 4) << report;
    }
}

}  // namespace
}  // namespace tarvu
