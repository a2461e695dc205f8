// The session log through the recorder and the store, with what every system has: files in a
// temporary folder and threads.
#include "record/session_header.h"
#include "record/session_recorder.h"
#include "record/session_store.h"
#include "tests/support/temp_directory.h"
#include "traced_blocks.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string_view>
#include <thread>

namespace tarvu {
namespace {

// True when text starts with the shape: 'd' stands for a digit, 's' for a sign, anything else for
// itself. GCC 12 warns falsely inside <regex> under -O2 with the sanitizers, so no regex here.
bool StartsWithShape(std::string_view text, std::string_view shape) {
    if (text.size() < shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const char c = text[i];
        const bool ok = shape[i] == 'd'   ? std::isdigit(static_cast<unsigned char>(c)) != 0
                        : shape[i] == 's' ? (c == '+' || c == '-')
                                          : c == shape[i];
        if (!ok)
            return false;
    }
    return true;
}

TEST(SessionHeaderTest, LocalTimeWithItsOffsetFromUtc) {
    const std::string header = FormatSessionHeader(UdpSettings(), Clock::now());
    EXPECT_TRUE(StartsWithShape(header, "# dddd-dd-dd dd:dd:dd sdddd Tarvu ")) << header;
    EXPECT_NE(header.find(", read port 10001, destination 127.0.0.1:10002, frame on\n"),
              std::string::npos)
        << header;
}

TEST(SessionRecorderTest, TwoWritersAppendWholeLines) {
    TempDirectory dir;
    const std::string logPath = (dir / "shared.log").string();
    const std::string a(300, 'a');
    const std::string b(300, 'b');
    {
        SessionRecorder first({});
        SessionRecorder second({});
        std::string error;
        ASSERT_TRUE(first.OpenLog(logPath, error));
        ASSERT_TRUE(second.OpenLog(logPath, error));
        first.Start(UdpSettings(), 0, 10001);
        second.Start(UdpSettings(), 0, 10001);
        std::thread t1([&] {
            for (int i = 0; i < 2000; ++i) {
                Feed(first, Make(0, 0, {}, a + "\n"));
            }
        });
        for (int i = 0; i < 2000; ++i) {
            Feed(second, Make(0, 0, {}, b + "\n"));
        }
        t1.join();
    }
    const std::string log = ReadBytes(logPath);
    size_t lines = 0;
    size_t start = 0;
    for (size_t end = log.find('\n'); end != std::string::npos; end = log.find('\n', start)) {
        const std::string line = log.substr(start, end - start);
        if (line.rfind("# ", 0) != 0) {
            EXPECT_TRUE(line == a || line == b) << "line " << lines << ": " << line.substr(0, 120);
        }
        ++lines;
        start = end + 1;
    }
    EXPECT_EQ(lines, 4002u);
}

TEST(SessionStoreTest, BoundedOldestFirstAndTheSavedLogSaysSo) {
    TempDirectory dir;
    SessionStore store(3, 1 << 20);
    for (int i = 0; i < 5; ++i) {
        Feed(store, Make(0, 0, {static_cast<uint8_t>(i)}, "line " + std::to_string(i) + "\n"));
    }
    EXPECT_EQ(store.Size(), 3u);
    const std::string path = (dir / "saved.log").string();
    std::string error;
    ASSERT_TRUE(store.SaveLog(path, UdpSettings(), error)) << error;
    const std::string log = ReadBytes(path);
    EXPECT_NE(log.find("\n# 2 lines dropped"), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.find("line 2")), "line 2\nline 3\nline 4\n");

    // A byte bound as well: large blocks push out more.
    SessionStore small(1000, 4096);
    for (int i = 0; i < 100; ++i) {
        Feed(small, Make(0, 0, std::vector<uint8_t>(1000, 0x55), "x\n"));
    }
    EXPECT_LE(small.Bytes(), 4096u);
    EXPECT_GE(small.Size(), 1u);

    store.Clear();
    ASSERT_TRUE(store.SaveLog(path, UdpSettings(), error));
    EXPECT_EQ(ReadBytes(path).find("dropped"), std::string::npos);
    EXPECT_FALSE(store.SaveLog(dir.Path().string(), UdpSettings(), error));
}

// Saved under a Cyrillic name, which must reach the system as given (on Windows as a wide
// name, not through the ANSI code page).
TEST(SessionStoreTest, SavesUnderACyrillicName) {
    TempDirectory dir;
    SessionStore store;
    Feed(store, Make(0, 0, {0x41}, "строка\n"));
    std::string error;
    for (const char8_t* name : {u8"сеанс.log", u8"сеанс.pcap"}) {
        const std::filesystem::path file = dir.Path() / std::filesystem::path(name);
        const std::u8string utf8 = file.u8string();
        const std::string path(utf8.begin(), utf8.end());
        const bool capture = file.extension() == ".pcap";
        ASSERT_TRUE(capture ? store.SaveCapture(path, 0, 10001, error)
                            : store.SaveLog(path, UdpSettings(), error))
            << error;
        EXPECT_TRUE(std::filesystem::is_regular_file(file)) << path;
    }
    EXPECT_EQ(dir.Entries().size(), 2u);
    EXPECT_NE(ReadBytes(dir.Path() / std::filesystem::path(u8"сеанс.log")).find("строка\n"),
              std::string::npos);
    EXPECT_FALSE(store.SaveLog("-", UdpSettings(), error));
    EXPECT_FALSE(store.SaveCapture("-", 0, 10001, error));
}

}  // namespace
}  // namespace tarvu
