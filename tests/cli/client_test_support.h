#pragma once
// Helpers for the end-to-end tests of tarvu-cli: temporary directories, free UDP ports and
// running the real program.

#include "platform/child_process.h"
#include "platform/plain_udp_socket.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tarvu::testing {

using ::tarvu::TempDirectory;

inline std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines of a trace without the time stamp of stage-0 lines ("09:05:03.007 ").
inline std::vector<std::string> WithoutTimes(const std::string& trace) {
    std::vector<std::string> lines;
    std::istringstream in(trace);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line.size() > 13 && line[2] == ':' ? line.substr(13) : line);
    }
    return lines;
}

// 127.0.0.1 in network byte order.
inline uint32_t LoopbackAddress() {
    const uint8_t octets[4] = {127, 0, 0, 1};
    uint32_t address = 0;
    std::memcpy(&address, octets, 4);
    return address;
}

// A UDP port that the kernel reported free a moment ago.
inline uint16_t FreeUdpPort() {
    PlainUdpSocket socket;
    std::string error;
    EXPECT_TRUE(socket.Bind(0, error)) << error;
    return socket.LocalPort();
}

// "127.000.000.001:01234" as the trace prints a loopback peer.
inline std::string LoopbackPeer(uint16_t port) {
    char text[32];
    std::snprintf(text, sizeof text, "127.000.000.001:%.5u", static_cast<unsigned>(port));
    return text;
}

// Polls until `file` contains `text` or `timeoutMs` have passed.
inline bool WaitForText(const std::filesystem::path& file, const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (ReadFile(file).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Runs tarvu-cli to its end (killed after `timeoutMs`); returns the exit code, -1 on time-out.
struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline CliRun RunCli(const TempDirectory& dir, const std::vector<std::string>& arguments,
                     int timeoutMs = 10000) {
    ChildProcess child;
    CliRun run;
    if (!child.Start(TARVU_CLI_PATH, arguments, dir / "run.out", dir / "run.err")) {
        ADD_FAILURE() << "cannot start " << TARVU_CLI_PATH;
        return run;
    }
    run.exitCode = child.Wait(timeoutMs).value_or(-1);
    run.out = ReadFile(dir / "run.out");
    run.err = ReadFile(dir / "run.err");
    return run;
}

// tarvu-cli echo on a free port, waited for until it listens; output in echo.out/echo.err.
struct EchoPeer {
    explicit EchoPeer(const TempDirectory& dir, std::vector<std::string> extra = {})
        : port(FreeUdpPort()) {
        std::vector<std::string> arguments = {"echo", "--listen", std::to_string(port)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        started = child.Start(TARVU_CLI_PATH, arguments, dir / "echo.out", dir / "echo.err") &&
                  WaitForText(dir / "echo.err", "listening", 5000);
    }
    uint16_t port;
    ChildProcess child;
    bool started = false;
};

// The client's arguments for a session from `listenPort` to `peerPort` on loopback, with the
// settings file settings.ini in `dir`, followed by `extra`.
inline std::vector<std::string> ClientArguments(const TempDirectory& dir, uint16_t peerPort,
                                                uint16_t listenPort,
                                                std::vector<std::string> extra) {
    std::vector<std::string> arguments = {
        "--settings", (dir / "settings.ini").string(), "--to",     "127.0.0.1",
        "--port",     std::to_string(peerPort),        "--listen", std::to_string(listenPort)};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return arguments;
}

// A session against an echo peer: a scratch folder with the settings file, the peer running
// for the whole test and a free port to listen on.
class EchoSessionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(echo_.started) << ReadFile(dir_ / "echo.err"); }
    void TearDown() override {
        echo_.child.Terminate();
        echo_.child.Wait(5000);
    }
    std::vector<std::string> Arguments(std::vector<std::string> extra) const {
        return ClientArguments(dir_, echo_.port, listenPort_, std::move(extra));
    }

    TempDirectory dir_;
    EchoPeer echo_{dir_};
    uint16_t listenPort_ = FreeUdpPort();
};

}  // namespace tarvu::testing
