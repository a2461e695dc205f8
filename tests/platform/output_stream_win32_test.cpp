#include "platform/output_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <thread>
#include <windows.h>

namespace tarvu {
namespace {

// An anonymous pipe as standard output is when nobody reads it: a small buffer that fills.
struct Pipe {
    Pipe() {
        SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
        EXPECT_TRUE(::CreatePipe(&read, &write, &attributes, 4096));
        fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(write), _O_WRONLY | _O_BINARY);
        EXPECT_GE(fd, 0);
    }
    ~Pipe() {
        ::_close(fd);  // closes `write` too
        if (read != nullptr) {
            ::CloseHandle(read);
        }
    }
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    int fd = -1;
};

TEST(OutputStream, WritesWhatTheReaderGets) {
    Pipe pipe;
    OutputStream out(pipe.fd);
    const std::string line = "0.001 > 11 01 00 30 00\n";
    ASSERT_EQ(out.WriteSome(line.data(), line.size(), 20), static_cast<long>(line.size()));
    char got[64] = {};
    DWORD n = 0;
    ASSERT_TRUE(::ReadFile(pipe.read, got, sizeof got, &n, nullptr));
    EXPECT_EQ(std::string(got, n), line);
}

TEST(OutputStream, InterruptEndsAWriteStuckOnAFullPipe) {
    Pipe pipe;
    OutputStream out(pipe.fd);
    const std::string block(1 << 16, 'x');
    std::atomic<long> result{0};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        long n = 0;
        while (n >= 0) {
            n = out.WriteSome(block.data(), block.size(), 20);
        }
        result = n;
        done = true;
    });
    // Nobody reads: the writer ends up waiting in the system.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(done.load());
    out.Interrupt();
    // Interrupt returns once the writer is out of the system.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(done.load());
    if (!done) {
        ::CloseHandle(pipe.read);  // lets the write fail, so the thread can be joined
        pipe.read = nullptr;
    }
    writer.join();
    EXPECT_EQ(result.load(), -1);
    // Once interrupted, it stays so.
    EXPECT_EQ(out.WriteSome("y", 1, 20), -1);
}

TEST(OutputStream, AReaderThatHasGoneIsToldApartFromOtherFailures) {
    Pipe pipe;
    OutputStream out(pipe.fd);
    ::CloseHandle(pipe.read);
    pipe.read = nullptr;
    EXPECT_EQ(out.WriteSome("x\n", 2, 20), kOutputClosed);
}

}  // namespace
}  // namespace tarvu
