#pragma once
// A folder of the test's own with a portable copy of tarvu.exe (its settings.ini beside it),
// and the helpers the dialog tests share.

#include "platform/cp1251.h"
#include "platform/plain_udp_socket.h"
#include "tests/support/temp_directory.h"
#include "tests/win32_dialog/dialog_driver.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvu::testing {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = folder_ / "tarvu.exe";
        std::error_code ec;
        fs::copy_file(TARVU_WIN32_GUI_PATH, program_, ec);
        ASSERT_FALSE(ec) << ec.message();
    }

    fs::path Settings() const { return folder_ / "settings.ini"; }
    // settings.ini beside the program, from UTF-8 text with CRLF line ends.
    void StoreSettings(const std::string& utf8) const {
        WriteBytes(Settings(), Utf8ToCp1251(utf8));
    }
    void StoreReadPort(uint16_t port) const {
        StoreSettings("[UDP]\r\nПОРТ IN=" + std::to_string(port) + "\r\n");
    }

    // Starts tarvu.exe and waits for dialog 102.
    HWND StartDialog(const std::vector<std::wstring>& arguments = {}) {
        if (!process_.Start(program_, arguments, folder_.Path())) {
            return nullptr;
        }
        HWND dialog = process_.WaitForDialog();
        EXPECT_NE(dialog, nullptr) << "tarvu.exe output:\n" << process_.Output();
        return dialog;
    }

    // The end of tarvu.exe, expected with status 0 within `timeoutMs`.
    void ExpectEnds(int timeoutMs = 10000) {
        const std::optional<DWORD> code = process_.Wait(timeoutMs);
        ASSERT_TRUE(code) << "tarvu.exe did not end; its output:\n" << process_.Output();
        EXPECT_EQ(*code, 0u) << process_.Output();
    }

    static bool CanBind(uint16_t port) {
        PlainUdpSocket socket;
        std::string error;
        return socket.Bind(port, error);
    }
    static uint16_t FreePort() {
        PlainUdpSocket socket;
        std::string error;
        return socket.Bind(0, error) ? socket.LocalPort() : 0;
    }

    TempDirectory folder_;
    fs::path program_;
    DialogProcess process_;
};

}  // namespace tarvu::testing
