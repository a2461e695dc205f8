// The session log through the recorder and the store, with what every system has: files in a
// temporary folder and threads.
#include "record/session_header.h"
#include "record/session_recorder.h"
#include "record/session_store.h"
#include "tests/support/temp_directory.h"
#include "traced_blocks.h"

#include <gtest/gtest.h>

#include <cctype>
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

// The dialog hands over the chosen file's path as UTF-8: a Cyrillic folder and name are saved
// under exactly that name on every system.
TEST(SessionStoreTest, SavesTheLogUnderACyrillicPath) {
    TempDirectory dir;
    SessionStore store;
    Feed(store, Make(0, 0, {0x07}, "10:00:00.000 127.000.000.001:10002 --> 07\n"));
    const std::filesystem::path folder = dir.Path() / std::filesystem::path(u8"протоколы");
    std::filesystem::create_directory(folder);
    const std::u8string path = (folder / std::filesystem::path(u8"сеанс №1.log")).u8string();
    std::string error;
    ASSERT_TRUE(store.SaveLog(std::string(path.begin(), path.end()), UdpSettings(), error))
        << error;
    const std::string log = ReadBytes(std::filesystem::path(path));
    EXPECT_NE(log.find("--> 07\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace tarvu
