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

TEST(TraceBuffer, HoldsTextWithCrLfAndScrollsTheNewestThreeLinesToTheTop) {
    TraceBuffer buffer;
    EXPECT_EQ(buffer.LineCount(), 1u);
    EXPECT_EQ(buffer.FirstVisibleLine(), 0u);
    EXPECT_EQ(buffer.Append("a\n"), 0u);
    EXPECT_EQ(buffer.Append("b\n"), 0u);
    EXPECT_EQ(buffer.Append("c\n"), 0u);
    EXPECT_EQ(buffer.Append("d\n"), 1u);  // lines b, c, d at the top
    EXPECT_EQ(buffer.Append("e\n"), 2u);
    const TraceSnapshot snapshot = buffer.Snapshot();
    EXPECT_EQ(snapshot.text, "a\r\nb\r\nc\r\nd\r\ne\r\n");
    EXPECT_EQ(snapshot.lineCount, 6u);
    EXPECT_EQ(snapshot.firstVisible, 2u);
}

TEST(TraceBuffer, NeverHoldsMoreThan200LinesAndDropsTheOldest) {
    TraceBuffer buffer;
    for (int i = 0; i < 450; ++i) {
        const size_t firstVisible = buffer.Append(Numbered(i));
        const std::vector<std::string> lines = buffer.Lines();
        ASSERT_LE(lines.size(), TraceBuffer::kMaxLines) << "after line " << i;
        ASSERT_EQ(lines.size(), std::min<size_t>(i + 1, 200));
        ASSERT_EQ(lines.back(), "line " + std::to_string(i));
        ASSERT_EQ(firstVisible, lines.size() > 3 ? lines.size() - 3 : 0);
    }
    const std::vector<std::string> lines = buffer.Lines();
    EXPECT_EQ(lines.front(), "line 250");
    EXPECT_EQ(buffer.LineCount(), 201u);
    EXPECT_EQ(buffer.FirstVisibleLine(), 197u);

    // A piece with several line ends still keeps the bound (and the newest lines).
    buffer.Append("x\ny\nz\n");
    EXPECT_EQ(buffer.Lines().size(), 200u);
    EXPECT_EQ(buffer.Lines().front(), "line 253");
    EXPECT_EQ(buffer.Lines().back(), "z");
    // Text without a line end counts as a line of text too.
    buffer.Append("partial");
    EXPECT_EQ(buffer.Lines().size(), 200u);
    EXPECT_EQ(buffer.Lines().back(), "partial");
    buffer.Append(" rest\n");
    EXPECT_EQ(buffer.Lines().back(), "partial rest");
    EXPECT_EQ(buffer.Lines().size(), 200u);
}

TEST(TraceBuffer, AppendManyEndsLikeAppendingOneByOne) {
    std::vector<std::string> pieces;
    for (int i = 0; i < 230; ++i) {
        pieces.push_back(i % 37 == 0 ? "two\nlines\n" : (i % 53 == 0 ? "open " : Numbered(i)));
    }
    TraceBuffer single;
    TraceBuffer batched;
    single.Append("old\n");
    batched.Append("old\n");
    size_t singleVisible = 0;
    for (const std::string& piece : pieces) {
        singleVisible = single.Append(piece);
    }
    const size_t batchedVisible = batched.AppendMany(std::span(pieces).first(100));
    EXPECT_EQ(batched.AppendMany(std::span(pieces).subspan(100)), singleVisible);
    EXPECT_NE(batchedVisible, singleVisible);
    EXPECT_EQ(batched.Text(), single.Text());
    EXPECT_EQ(batched.LineCount(), single.LineCount());
}

TEST(TraceBuffer, ClearEmptiesAndLaterAppendsStartAfresh) {
    TraceBuffer buffer;
    for (int i = 0; i < 250; ++i) {
        buffer.Append(Numbered(i));
    }
    buffer.Clear();
    EXPECT_EQ(buffer.Text(), "");
    EXPECT_EQ(buffer.LineCount(), 1u);
    EXPECT_EQ(buffer.FirstVisibleLine(), 0u);
    buffer.Append("after\n");
    EXPECT_EQ(buffer.Text(), "after\r\n");
}

// Lines in the buffer must be consecutive and newer than every line that had been completely
// appended before the last clear began.
void ExpectOnlyLinesAfter(const std::vector<std::string>& lines, int completeBeforeClear) {
    if (lines.empty()) {
        return;
    }
    const int first = std::stoi(lines.front().substr(5));
    EXPECT_GT(first, completeBeforeClear);
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i], "line " + std::to_string(first + static_cast<int>(i)));
    }
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
    int completeBeforeClear = 0;
    while (completeBeforeClear < kLines) {
        completeBeforeClear = appended.load(std::memory_order_acquire);
        buffer.Clear();
        ++clears;
        const std::vector<std::string> lines = buffer.Lines();
        ASSERT_LE(lines.size(), TraceBuffer::kMaxLines);
        ExpectOnlyLinesAfter(lines, completeBeforeClear);
    }
    worker.join();
    EXPECT_GT(clears, 1);
    EXPECT_EQ(buffer.Text(), "");
    buffer.Append(Numbered(kLines + 1));
    EXPECT_EQ(buffer.Lines(), std::vector<std::string>{"line 20001"});
}

}  // namespace
}  // namespace tarvu
