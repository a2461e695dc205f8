// The scenario runner over a scripted link: when packets count for a window, what stays for
// later steps, what a failure says, and the schedule of repeat ... every.

#include "app/cli/scenario_runner.h"

#include "link/hex_text.h"

#include <gtest/gtest.h>

#include <deque>
#include <thread>

namespace tarvu::cli {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(ParseHexStrict(text, bytes, error)) << error;
    return bytes;
}

// Packets scheduled to show up at given times after the start, each stamped with the moment
// it "reached the socket", which may be earlier than when it shows up (a busy worker).
class FakeLink final : public ScriptLink {
public:
    struct Planned {
        std::chrono::milliseconds showsUp;
        std::chrono::milliseconds arrived;
        std::vector<uint8_t> packet;
    };

    explicit FakeLink(std::vector<Planned> plan, std::chrono::milliseconds busyFor = {})
        : plan_(std::move(plan)), busyUntil_(Clock::now() + busyFor) {}

    bool Send(const std::vector<uint8_t>& packet, std::string& error) override {
        if (refuse_) {
            error = "refused";
            return false;
        }
        sent_.push_back({Clock::now() - start_, packet});
        return true;
    }
    bool WaitFront(Clock::time_point until, ArrivedPacket& out) override {
        for (;;) {
            Release();
            if (!queue_.empty()) {
                out = queue_.front();
                return true;
            }
            if (Clock::now() >= until) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void PopFront() override { queue_.pop_front(); }
    void Discard() override {
        Release();
        queue_.clear();
    }
    bool Busy() const override { return Clock::now() < busyUntil_; }

    struct Sent {
        Clock::duration at;
        std::vector<uint8_t> packet;
    };
    std::vector<Sent> sent_;
    bool refuse_ = false;
    size_t Waiting() {
        Release();
        return queue_.size();
    }

private:
    void Release() {
        const auto elapsed = Clock::now() - start_;
        while (!plan_.empty() && plan_.front().showsUp <= elapsed) {
            const auto arrivedAgo = elapsed - plan_.front().arrived;
            ArrivedPacket packet;
            packet.packet = plan_.front().packet;
            packet.arrivalMicros =
                SystemMicros() -
                std::chrono::duration_cast<std::chrono::microseconds>(arrivedAgo).count();
            queue_.push_back(std::move(packet));
            plan_.erase(plan_.begin());
        }
    }

    std::vector<Planned> plan_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point busyUntil_;
    std::deque<ArrivedPacket> queue_;
};

scenario::Scenario Parse(const std::string& text) {
    scenario::Scenario scenario;
    scenario::SourceError error;
    EXPECT_TRUE(scenario::ParseScenario("t.scenario", text, scenario, error))
        << scenario::FormatSourceError(error);
    return scenario;
}

using std::chrono::milliseconds;

TEST(ScenarioRunnerTest, AReplyCountsByItsArrivalNotByWhenItIsHandedOver) {
    const scenario::Scenario scenario = Parse(
        "test \"late hand-over\"\n"
        "  expect 11 01 * within 100ms\n");
    // Reached the socket at 60 ms, handed over at 150 ms (the worker was busy until then).
    FakeLink late({{milliseconds(150), milliseconds(60), Hex("11 01 00 30 00")}},
                  milliseconds(200));
    ScenarioRunner runner(scenario, late, [] { return false; });
    const TestResult passed = runner.Run(0);
    EXPECT_EQ(passed.outcome, TestOutcome::kPassed) << passed.message;

    // Reached the socket after the window: the expectation fails, and the packet is still
    // there for what follows.
    FakeLink tooLate({{milliseconds(130), milliseconds(130), Hex("11 01 00 30 00")}},
                     milliseconds(300));
    ScenarioRunner again(scenario, tooLate, [] { return false; });
    const TestResult failed = again.Run(0);
    EXPECT_EQ(failed.outcome, TestOutcome::kFailed);
    EXPECT_EQ(failed.got, "");
    EXPECT_EQ(failed.message, "line 2: expected 11 01 * within 100ms, received nothing");
    EXPECT_EQ(tooLate.Waiting(), 1u);
}

TEST(ScenarioRunnerTest, SkipsWhatDoesNotMatchAndSaysWhatCame) {
    const scenario::Scenario scenario = Parse(
        "window 150ms\n"
        "test \"match after noise\"\n"
        "  send 11 01 00 30 {n}\n"
        "  expect code=ma_RELOCK\n"
        "test \"noise only\"\n"
        "  send 11 01 00 30 {n}\n"
        "  expect code=ma_RELOCK\n");
    FakeLink link({{milliseconds(5), milliseconds(5), Hex("11 01 00 30 00")},
                   {milliseconds(10), milliseconds(10), Hex("11 01 00 30 10 C9 01 00 D1")}});
    ScenarioRunner runner(scenario, link, [] { return false; });
    EXPECT_EQ(runner.Run(0).outcome, TestOutcome::kPassed);

    FakeLink noise({{milliseconds(5), milliseconds(5), Hex("01")},
                    {milliseconds(6), milliseconds(6), Hex("02")},
                    {milliseconds(7), milliseconds(7), Hex("03")},
                    {milliseconds(8), milliseconds(8), Hex("04")},
                    {milliseconds(9), milliseconds(9), Hex("05")}});
    ScenarioRunner second(scenario, noise, [] { return false; });
    const TestResult failed = second.Run(1);
    EXPECT_EQ(failed.outcome, TestOutcome::kFailed);
    EXPECT_EQ(failed.failedLine, 7u);
    EXPECT_EQ(failed.expected, "code=ma_RELOCK");
    EXPECT_EQ(failed.got, "01; 02; 03 and 2 more");
    EXPECT_EQ(failed.message,
              "line 7: expected code=ma_RELOCK within 150ms, received 01; 02; 03 and 2 more");
    // The counters are per send statement: this test's send counts from 0 too.
    ASSERT_EQ(noise.sent_.size(), 1u);
    EXPECT_EQ(noise.sent_[0].packet, Hex("11 01 00 30 00"));
}

TEST(ScenarioRunnerTest, ExpectNoneFailsOnAnyPacketOfItsWindowAndDiscardsTheTestBefore) {
    const scenario::Scenario scenario = Parse(
        "test \"quiet\"\n"
        "  expect none within 100ms\n");
    FakeLink talkative({{milliseconds(50), milliseconds(50), Hex("11 01 00 30 00")}});
    ScenarioRunner runner(scenario, talkative, [] { return false; });
    const TestResult failed = runner.Run(0);
    EXPECT_EQ(failed.outcome, TestOutcome::kFailed);
    EXPECT_EQ(failed.message, "line 2: expected none within 100ms, received 11 01 00 30 00");

    // A packet that came before the test started belongs to the test before: discarded.
    FakeLink leftOver({{milliseconds(0), milliseconds(0), Hex("11 01 00 30 00")},
                       {milliseconds(150), milliseconds(150), Hex("11 01 00 30 00")}});
    ScenarioRunner quiet(scenario, leftOver, [] { return false; });
    EXPECT_EQ(quiet.Run(0).outcome, TestOutcome::kPassed);
}

TEST(ScenarioRunnerTest, RepeatEveryKeepsItsScheduleAndSendFailuresEndTheTest) {
    const scenario::Scenario scenario = Parse(
        "test \"paced\"\n"
        "  repeat 5 every 40ms\n"
        "    send 11 01 00 30 {n}\n"
        "    wait 10ms\n"
        "  end\n");
    FakeLink link({});
    ScenarioRunner runner(scenario, link, [] { return false; });
    EXPECT_EQ(runner.Run(0).outcome, TestOutcome::kPassed);
    ASSERT_EQ(link.sent_.size(), 5u);
    for (size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(link.sent_[k].packet.back(), k);
        const auto due = milliseconds(40) * k;
        EXPECT_GE(link.sent_[k].at, due);
        // Each round starts on time whatever the waits inside it took.
        EXPECT_LT(link.sent_[k].at, due + milliseconds(25)) << k;
    }

    FakeLink refusing({});
    refusing.refuse_ = true;
    ScenarioRunner refused(scenario, refusing, [] { return false; });
    const TestResult result = refused.Run(0);
    EXPECT_EQ(result.outcome, TestOutcome::kFailed);
    EXPECT_EQ(result.message, "line 3: 11 01 00 30 00 not sent: refused");
}

TEST(ScenarioRunnerTest, AStopEndsTheTestAsInterrupted) {
    const scenario::Scenario scenario = Parse(
        "test \"long\"\n"
        "  wait 10s\n");
    FakeLink link({});
    const auto start = Clock::now();
    ScenarioRunner runner(scenario, link,
                          [start] { return Clock::now() - start > milliseconds(100); });
    const TestResult result = runner.Run(0);
    EXPECT_EQ(result.outcome, TestOutcome::kFailed);
    EXPECT_EQ(result.message, "interrupted");
    EXPECT_LT(result.seconds, 1.0);
}

}  // namespace
}  // namespace tarvu::cli
