#include "trace/trace_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace tarvu {
namespace {

std::string Numbered(int n) {
    return "line " + std::to_string(n) + "\n";
}

TEST(TraceBuffer, KeepsTheNewest200LinesWithTheLastThreeAtTheTop) {
    TraceBuffer buffer;
    EXPECT_EQ(buffer.Snapshot().lineCount, 1u);
    for (int i = 0; i < 450; ++i) {
        const size_t firstVisible = buffer.Append(Numbered(i));
        const std::vector<std::string> lines = buffer.Lines();
        ASSERT_EQ(lines.size(), std::min<size_t>(i + 1, 200)) << "after line " << i;
        ASSERT_EQ(lines.back(), "line " + std::to_string(i));
        ASSERT_EQ(firstVisible, lines.size() > 3 ? lines.size() - 3 : 0);
    }
    const TraceSnapshot snapshot = buffer.Snapshot();
    EXPECT_EQ(snapshot.text.substr(0, 20), "line 250\r\nline 251\r\n");
    EXPECT_EQ(snapshot.lineCount, 201u);
    EXPECT_EQ(snapshot.firstVisible, 197u);

    // A piece with several line ends, or none, keeps the bound too.
    buffer.Append("x\ny\nz\n");
    EXPECT_EQ(buffer.Lines().size(), 200u);
    EXPECT_EQ(buffer.Lines().front(), "line 253");
    buffer.Append("partial");
    buffer.Append(" rest\n");
    EXPECT_EQ(buffer.Lines().size(), 200u);
    EXPECT_EQ(buffer.Lines().back(), "partial rest");
}

TEST(TraceBuffer, AppendManyEndsLikeAppendingOneByOne) {
    std::vector<std::string> pieces;
    for (int i = 0; i < 230; ++i) {
        pieces.push_back(i % 37 == 0 ? "two\nlines\n" : (i % 53 == 0 ? "open " : Numbered(i)));
    }
    TraceBuffer single;
    TraceBuffer batched;
    size_t singleVisible = 0;
    for (const std::string& piece : pieces) {
        singleVisible = single.Append(piece);
    }
    batched.AppendMany(std::span(pieces).first(100));
    EXPECT_EQ(batched.AppendMany(std::span(pieces).subspan(100)), singleVisible);
    EXPECT_EQ(batched.Text(), single.Text());
}

TEST(TraceBuffer, ClearWhileAppendingKeepsOnlyLinesAppendedAfterIt) {
    TraceBuffer buffer;
    constexpr int kLines = 20000;
    std::atomic<int> appended{0};
    std::atomic<bool> go{false};
    std::thread worker([&] {
        while (!go) {
            std::this_thread::yield();
        }
        for (int i = 1; i <= kLines; ++i) {
            buffer.Append(Numbered(i));
            appended.store(i, std::memory_order_release);
            if (i % 16 == 0) {
                std::this_thread::yield();
            }
        }
    });
    go = true;
    int clears = 0;
    for (int before = 0; before < kLines; ++clears) {
        // Lines whose append returned before the clear began must never come back.
        before = appended.load(std::memory_order_acquire);
        buffer.Clear();
        const std::vector<std::string> lines = buffer.Lines();
        ASSERT_LE(lines.size(), TraceBuffer::kMaxLines);
        const int first = lines.empty() ? before + 1 : std::stoi(lines.front().substr(5));
        ASSERT_GT(first, before);
        for (size_t i = 0; i < lines.size(); ++i) {
            ASSERT_EQ(lines[i], "line " + std::to_string(first + static_cast<int>(i)));
        }
    }
    worker.join();
    EXPECT_GT(clears, 1);
    EXPECT_EQ(buffer.Snapshot().text, "");
    EXPECT_EQ(buffer.Snapshot().firstVisible, 0u);
}

}  // namespace
}  // namespace tarvu
