#include "app/cli/trace_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace tarvu {
namespace {

using cli::TraceOutput;
using Clock = std::chrono::steady_clock;

struct Pipe {
    Pipe() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0); }
    ~Pipe() {
        for (int fd : fds) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    // Everything the pipe holds now, without waiting.
    std::string Drain() const {
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
        std::string text;
        char buffer[65536];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }
    int fds[2] = {-1, -1};
};

std::string Line(int i) {
    return "12:00:00.000 127.000.000.001:10001 --> " + std::to_string(i) + std::string(60, 'A') +
           "\n";
}

TEST(TraceOutput, EveryLineIsWrittenInOrderWhileSomeoneReads) {
    Pipe pipe;
    std::string expected;
    std::string read;
    std::thread reader([&pipe, &read] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipe.fds[0], buffer, sizeof buffer)) > 0;) {
            read.append(buffer, static_cast<size_t>(n));
            // A slow reader: the queue grows and drains in turns.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    {
        TraceOutput output(pipe.fds[1]);
        for (int i = 0; i < 5000; ++i) {
            expected += Line(i);
            output.Append(Line(i));
        }
        EXPECT_EQ(output.Finish([] { return false; }, std::chrono::milliseconds(0)), 0u);
    }
    ::close(pipe.fds[1]);
    pipe.fds[1] = -1;
    reader.join();
    EXPECT_EQ(read, expected);
}

TEST(TraceOutput, AFullPipeNeitherBlocksTheTracerNorTheEndAfterAStop) {
    Pipe pipe;
    constexpr int kLines = 3000;  // about 300 KB, several times what a pipe holds
    TraceOutput output(pipe.fds[1]);
    const auto start = Clock::now();
    for (int i = 0; i < kLines; ++i) {
        output.Append(Line(i));
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << "the tracer waited";

    const auto finishing = Clock::now();
    const size_t lost = output.Finish([] { return true; }, std::chrono::milliseconds(100));
    EXPECT_LT(Clock::now() - finishing, std::chrono::milliseconds(1000));
    const std::string written = pipe.Drain();
    const auto complete = static_cast<size_t>(std::count(written.begin(), written.end(), '\n'));
    EXPECT_GT(lost, 0u);
    EXPECT_GT(complete, 0u);
    EXPECT_EQ(complete + lost, static_cast<size_t>(kLines));
    // What did get through is the beginning, in order.
    std::string expected;
    for (size_t i = 0; i < complete; ++i) {
        expected += Line(static_cast<int>(i));
    }
    EXPECT_EQ(written.substr(0, expected.size()), expected);
}

TEST(TraceOutput, LinesBeyondTheCapacityAreCountedNotQueued) {
    Pipe pipe;
    TraceOutput output(pipe.fds[1], /*capacityBytes=*/Line(0).size() * 10);
    for (int i = 0; i < 200000; ++i) {
        output.Append(Line(i));
    }
    const size_t lost = output.Finish([] { return true; }, std::chrono::milliseconds(0));
    const std::string written = pipe.Drain();
    EXPECT_EQ(static_cast<size_t>(std::count(written.begin(), written.end(), '\n')) + lost,
              200000u);
    EXPECT_GT(lost, 190000u);
}

}  // namespace
}  // namespace tarvu
