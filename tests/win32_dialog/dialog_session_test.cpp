// A session with tarvu.exe as an engineer has it: a packet typed and sent to tarvu-cli.exe
// echo with the reply in the trace, the read port retyped and the channel reopened on it, a
// packet with Cyrillic letters, Escape; then a second start that finds the fields again,
// hides in the notification area, comes back and ends with the Windows session. After each
// run the settings file holds exactly the bytes the Linux dialog writes for the same session
// (tests/data/win32_dialog_*.ini, made and checked by the Linux dialog's own test).

#include "tests/cli/client_test_support.h"
#include "tests/win32_dialog/dialog_fixture.h"

namespace tarvu::testing {
namespace {

constexpr int kTraceTimeoutMs = 10000;

// The x position of character `column` of trace line `line` (0 = the first).
int TraceColumnX(HWND trace, int line, int column) {
    const LRESULT start = Send(trace, EM_LINEINDEX, static_cast<WPARAM>(line)).value_or(-1);
    const LRESULT position =
        Send(trace, EM_POSFROMCHAR, static_cast<WPARAM>(start + column)).value_or(-1);
    return position == -1 ? -1 : static_cast<short>(LOWORD(position));
}

TEST_F(DialogTest, ExchangeReopenCyrillicAndEscapeLeaveTheLinuxDialogsBytes) {
    EchoPeer echo(folder_);
    ASSERT_TRUE(echo.started) << ReadFile(folder_ / "echo.err");
    const uint16_t firstPort = FreePort();
    StoreReadPort(firstPort);
    HWND window = StartDialog();
    ASSERT_NE(window, nullptr);
    DialogWindow dialog(window);

    // The stored read port and the defaults start-up wrote.
    EXPECT_EQ(dialog.Text(1046), std::to_wstring(firstPort));
    EXPECT_EQ(dialog.Text(1047), L"10001");
    EXPECT_EQ(dialog.Text(1040), L"7E 7F");
    EXPECT_EQ(dialog.Address(process_.Id()), (std::array<uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_FALSE(CanBind(firstPort));

    ASSERT_TRUE(dialog.SetAddress(127, 0, 0, 1));
    ASSERT_TRUE(dialog.Type(1047, std::to_wstring(echo.port)));
    ASSERT_TRUE(dialog.Type(1040, L"11 01 00 30 00"));
    ASSERT_TRUE(dialog.Click(1041));
    const std::wstring peer = WideLoopbackPeer(echo.port);
    EXPECT_TRUE(
        WaitUntil([&] { return dialog.TraceHas(peer + L" --> 11 01 00 30 00"); }, kTraceTimeoutMs))
        << Utf8Of(dialog.Text(1042));
    EXPECT_TRUE(dialog.TraceHas(peer + L" <-- 11 01 00 30 00"));

    // The trace field's font is fixed-pitch: the arrow stands at column 35 on every line.
    HWND trace = dialog.Item(1042);
    const int width = TraceColumnX(trace, 0, 1) - TraceColumnX(trace, 0, 0);
    EXPECT_GT(width, 0);
    EXPECT_EQ(TraceColumnX(trace, 0, 34) - TraceColumnX(trace, 0, 0), 34 * width);
    EXPECT_EQ(TraceColumnX(trace, 1, 34), TraceColumnX(trace, 0, 34));

    // Every key typed into the read port reopens the channel; it ends bound to the new port.
    uint16_t secondPort = 0;
    for (int attempt = 0; attempt < 20 && secondPort == 0; ++attempt) {
        const uint16_t candidate = FreePort();
        if (candidate >= 10000) {
            secondPort = candidate;
        }
    }
    ASSERT_TRUE(dialog.Type(1046, std::to_wstring(secondPort)));
    EXPECT_TRUE(CanBind(firstPort));
    EXPECT_FALSE(CanBind(secondPort));
    EXPECT_FALSE(process_.FindBox()) << "a box appeared while the read port was typed";

    // Cyrillic letters in the packet: "7Ж" sends the byte 07, as on Linux, and stays as typed.
    ASSERT_TRUE(dialog.Type(1040, L"7Ж"));
    ASSERT_TRUE(dialog.Click(1041));
    EXPECT_TRUE(WaitUntil([&] { return dialog.TraceHas(peer + L" --> 07"); }, kTraceTimeoutMs))
        << Utf8Of(dialog.Text(1042));
    EXPECT_EQ(dialog.Text(1040), L"7Ж");
    EXPECT_FALSE(process_.FindBox());

    const fs::path artifacts = ArtifactFolder();
    if (!artifacts.empty()) {
        EXPECT_TRUE(SaveScreenPicture(window, artifacts / "win32_dialog.bmp"));
    }

    dialog.PressKey(1040, VK_ESCAPE);
    ExpectEnds();
    EXPECT_EQ(Cp1251ToUtf8(ReadBytes(Settings())),
              Cp1251ToUtf8(ExpectedSettings("win32_dialog_escape.ini", secondPort, echo.port)));
}

TEST_F(DialogTest, SecondStartFindsTheFieldsHidesInTheTrayAndEndsWithTheSession) {
    const uint16_t readPort = FreePort();
    const uint16_t sendPort = FreePort();
    WriteBytes(Settings(), ExpectedSettings("win32_dialog_escape.ini", readPort, sendPort));
    HWND window = StartDialog();
    ASSERT_NE(window, nullptr);
    DialogWindow dialog(window);
    EXPECT_EQ(dialog.Address(process_.Id()), (std::array<uint8_t, 4>{127, 0, 0, 1}));
    EXPECT_EQ(dialog.Text(1046), std::to_wstring(readPort));
    EXPECT_EQ(dialog.Text(1047), std::to_wstring(sendPort));
    EXPECT_EQ(dialog.Text(1040), L"7Ж");
    EXPECT_EQ(Send(dialog.Item(1045), BM_GETCHECK).value_or(-1), BST_UNCHECKED);

    // Minimising hides the window; its icon waits in the notification area.
    ASSERT_TRUE(Send(window, WM_SYSCOMMAND, SC_MINIMIZE));
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window); }, kMessageTimeoutMs));
    EXPECT_FALSE(::IsIconic(window));
    // A double-click on the icon, with the mouse where Wine's tray window shows the first
    // icon; a desktop with its own notification area gets the icon's messages directly.
    HWND tray = ::FindWindowW(L"__winex11_standalone_tray", nullptr);
    RECT client = {};
    if (tray != nullptr && WaitUntil([&] { return ::IsWindowVisible(tray) != FALSE; }, 2000) &&
        ::GetClientRect(tray, &client)) {
        POINT icon = {::GetSystemMetrics(SM_CXSMICON) / 2 + 2,
                      ::GetSystemMetrics(SM_CYSMICON) / 2 + 2};
        ::ClientToScreen(tray, &icon);
        // The X server shows the tray window a moment after Wine does; a click before that
        // lands on the desktop, so a double-click that brought nothing back is tried once more.
        for (int attempt = 1; attempt <= 2 && !::IsWindowVisible(window); ++attempt) {
            if (attempt == 2) {
                std::printf("the double-click on the tray icon brought nothing back; once more\n");
                process_.KeepArtifacts("tray-first-double-click");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::SetCursorPos(icon.x, icon.y);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            INPUT clicks[4] = {};
            const DWORD flags[4] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN,
                                    MOUSEEVENTF_LEFTUP};
            for (int i = 0; i < 4; ++i) {
                clicks[i].type = INPUT_MOUSE;
                clicks[i].mi.dwFlags = flags[i];
            }
            ::SendInput(4, clicks, sizeof(INPUT));
            WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }, 3000);
        }
    } else {
        for (UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}) {
            Send(window, WM_USER, 0, mouse);
        }
    }
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }, kMessageTimeoutMs))
        << "the window did not come back from the notification area";
    if (!::IsWindowVisible(window)) {
        process_.KeepArtifacts("tray");
    }

    // Windows ends the session: the closing steps of the close box run before the answer.
    EXPECT_EQ(Send(window, WM_QUERYENDSESSION).value_or(0), TRUE);
    Send(window, WM_ENDSESSION, TRUE, 0);
    ExpectEnds();
    EXPECT_EQ(Cp1251ToUtf8(ReadBytes(Settings())),
              Cp1251ToUtf8(ExpectedSettings("win32_dialog_end_session.ini", readPort, sendPort)));
}

}  // namespace
}  // namespace tarvu::testing
