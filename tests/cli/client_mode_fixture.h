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

class ClientModeTest : public testing::EchoSessionTest {
protected:
    std::string Stored(std::string_view key, std::string_view section = kSectionUdp) const {
        return settings_.Read(section, key);
    }

    Settings settings_{dir_ / "settings.ini"};
};

}  // namespace tarvu
