// The session record against what only POSIX systems offer here: /dev/full and a small
// tmpfs that fills up.
#include "record/session_recorder.h"
#include "record/session_store.h"
#include "tests/support/capture_reader.h"
#include "tests/support/temp_directory.h"
#include "traced_blocks.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarvu {
namespace {

size_t CapturedCount(const std::string& path) {
    const CaptureContents contents = ReadCaptureFile(path);
    EXPECT_TRUE(contents.ok) << contents.error;
    return contents.packets.size();
}

TEST(SessionRecorderTest, FailingLogIsReportedOnceAndTheCaptureGoesOn) {
    TempDirectory dir;
    const std::string capPath = (dir / "s.pcap").string();
    std::vector<std::string> errors;
    SessionRecorder recorder([&errors](const std::string& m) { errors.push_back(m); });
    std::string error;
    ASSERT_TRUE(recorder.OpenLog("/dev/full", error)) << error;
    ASSERT_TRUE(recorder.OpenCapture(capPath, error)) << error;
    recorder.Start(UdpSettings(), 0, 10001);
    for (int i = 0; i < 5; ++i) {
        Feed(recorder, Make(0, 0, {static_cast<uint8_t>(i)}, "r\n"));
    }
    recorder.Stop();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("/dev/full: No space left on device"), std::string::npos);
    EXPECT_EQ(CapturedCount(capPath), 5u);
}

// A disk that fills while the session runs: each file reports once and closes, the other
// file and the session go on, and what was written before stays readable.
TEST(SessionRecorderTest, DiskFillingUpMidSession) {
    TempDirectory dir;
    const std::filesystem::path small = dir / "small";
    std::filesystem::create_directory(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::string capPath = (dir / "s.pcap").string();
    std::vector<std::string> errors;
    {
        SessionRecorder recorder([&errors](const std::string& m) { errors.push_back(m); });
        std::string error;
        ASSERT_TRUE(recorder.OpenLog((small / "s.log").string(), error)) << error;
        ASSERT_TRUE(recorder.OpenCapture(capPath, error)) << error;
        recorder.Start(UdpSettings(), 0, 10001);
        const std::string line(99, 'x');
        for (int i = 0; i < 2000; ++i) {
            Feed(recorder, Make(0, 0, {0x01, 0x02}, line + "\n"));
            if (i % 100 == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        recorder.Stop();
    }
    const std::string log = ReadBytes(small / "s.log");
    ::umount(small.c_str());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("No space left on device"), std::string::npos) << errors[0];
    EXPECT_GT(log.size(), 32u * 1024u);
    EXPECT_EQ(CapturedCount(capPath), 2000u);
}

// The dialog's save items run on its thread: a named pipe without a reader must not hold it.
TEST(SessionStoreTest, SavingToANamedPipeIsRefusedWithoutWaiting) {
    TempDirectory dir;
    const std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    SessionStore store;
    Feed(store, Make(0, 0, {0x41}, "r\n"));
    for (const bool capture : {false, true}) {
        auto saved = std::async(std::launch::async, [&] {
            std::string error;
            const bool ok = capture ? store.SaveCapture(fifo, 0, 10001, error)
                                    : store.SaveLog(fifo, UdpSettings(), error);
            return ok ? std::string("saved") : error;
        });
        if (saved.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
            saved.wait();
            ::close(reader);
            ADD_FAILURE() << (capture ? "capture" : "log") << ": waited for a reader";
            continue;
        }
        EXPECT_EQ(saved.get(), fifo + ": not a regular file");
    }
}

// A device is no capture file: refused before anything is written.
TEST(SessionStoreTest, SavingACaptureToADeviceIsRefused) {
    SessionStore store;
    Feed(store, Make(0, 0, {0x41}, "r\n"));
    std::string error;
    EXPECT_FALSE(store.SaveCapture("/dev/full", 0, 10001, error));
    EXPECT_EQ(error, "/dev/full: not a regular file");
}

}  // namespace
}  // namespace tarvu
