#pragma once
// tarvu-cli in client mode against an echo peer over loopback, with its own settings file.

#include "app/settings.h"
#include "app/settings_keys.h"
#include "client_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace tarvu {

using testing::CliRun;
using testing::LoopbackPeer;
using testing::ReadFile;
using testing::WithoutTimes;
using Lines = std::vector<std::string>;

class ClientModeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(echo_.started) << ReadFile(dir_ / "echo.err"); }
    void TearDown() override {
        echo_.child.Terminate();
        echo_.child.Wait(5000);
    }
    std::vector<std::string> Arguments(std::vector<std::string> extra) const {
        std::vector<std::string> arguments = {
            "--settings", settings_.File().string(),  "--to",     "127.0.0.1",
            "--port",     std::to_string(echo_.port), "--listen", std::to_string(listenPort_)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return arguments;
    }
    std::string Stored(std::string_view key, std::string_view section = kSectionUdp) const {
        return settings_.Read(section, key);
    }

    testing::TempDirectory dir_;
    testing::EchoPeer echo_{dir_};
    uint16_t listenPort_ = testing::FreeUdpPort();
    Settings settings_{dir_ / "settings.ini"};
};

}  // namespace tarvu
