// The notification-area icon against a stand-in shell: a desktop that refuses icons, or
// accepts them and shows none, leaves the window to minimise normally; a working one gets
// the icon, the traffic frames while datagrams pass, and the icon's removal.

#include "app/win32/tray.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvu::win32 {
namespace {

struct FakeShell {
    bool accepts = true;
    bool visible = true;
    struct Call {
        DWORD action;
        HICON icon;
        UINT callback;
        std::wstring tip;
    };
    std::vector<Call> calls;

    TrayShell Shell() {
        TrayShell shell;
        shell.notify = [this](DWORD action, const NOTIFYICONDATAW& data) {
            calls.push_back({action, data.hIcon, data.uCallbackMessage, data.szTip});
            return accepts;
        };
        shell.iconsVisible = [this] { return visible; };
        return shell;
    }
};

TrayIcons Icons() {
    TrayIcons icons;
    icons.normal = reinterpret_cast<HICON>(0x10);
    icons.sent = reinterpret_cast<HICON>(0x20);
    icons.received = reinterpret_cast<HICON>(0x30);
    return icons;
}

TEST(Win32Tray, WithoutANotificationAreaTheWindowMinimisesNormally) {
    FakeShell refusing;
    refusing.accepts = false;
    Tray refused(nullptr, Icons(), {}, refusing.Shell());
    EXPECT_FALSE(refused.Controller().Minimise());
    EXPECT_FALSE(refused.IconPresent());
    EXPECT_FALSE(refused.Controller().WindowHidden());

    // Accepted but nowhere to be seen: the icon is taken back.
    FakeShell hidden;
    hidden.visible = false;
    Tray unseen(nullptr, Icons(), {}, hidden.Shell());
    EXPECT_FALSE(unseen.Controller().Minimise());
    EXPECT_FALSE(unseen.IconPresent());
    ASSERT_EQ(hidden.calls.size(), 2u);
    EXPECT_EQ(hidden.calls[0].action, DWORD{NIM_ADD});
    EXPECT_EQ(hidden.calls[1].action, DWORD{NIM_DELETE});
}

TEST(Win32Tray, MinimiseAddsTheIconAndADoubleClickTakesItAwayOnRelease) {
    FakeShell shell;
    Tray tray(nullptr, Icons(), {}, shell.Shell());
    ASSERT_TRUE(tray.Controller().Minimise());
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].action, DWORD{NIM_ADD});
    EXPECT_EQ(shell.calls[0].icon, Icons().normal);
    EXPECT_EQ(shell.calls[0].callback, UINT{WM_USER});
    EXPECT_EQ(shell.calls[0].tip, L"Tarvu(Дважды клик мышой дабы показать!)");

    // Button down, up, double-click, up: the first release does nothing.
    EXPECT_TRUE(tray.OnIconMessage(WM_LBUTTONUP));
    EXPECT_TRUE(tray.IconPresent());
    EXPECT_TRUE(tray.OnIconMessage(WM_LBUTTONDBLCLK));
    EXPECT_TRUE(tray.IconPresent());
    EXPECT_TRUE(tray.OnIconMessage(WM_LBUTTONUP));
    EXPECT_FALSE(tray.IconPresent());
    EXPECT_EQ(shell.calls.back().action, DWORD{NIM_DELETE});
    // Other mouse messages (and the dialog manager's own use of the message) pass on.
    EXPECT_FALSE(tray.OnIconMessage(WM_MOUSEMOVE));
    EXPECT_FALSE(tray.OnIconMessage(0));
}

TEST(Win32Tray, TheIconShowsWhichWayTrafficPassed) {
    FakeShell shell;
    Tray tray(nullptr, Icons(), {}, shell.Shell());
    tray.ShowTraffic(5, 7);  // counts before hiding are the starting point
    ASSERT_TRUE(tray.Controller().Minimise());
    const size_t afterAdd = shell.calls.size();

    tray.ShowTraffic(5, 7);  // nothing passed
    EXPECT_EQ(shell.calls.size(), afterAdd);
    tray.ShowTraffic(6, 7);
    EXPECT_EQ(tray.CurrentIcon(), Icons().sent);
    tray.ShowTraffic(6, 9);
    EXPECT_EQ(tray.CurrentIcon(), Icons().received);
    tray.ShowTraffic(7, 10);  // both ways: the arrows take turns
    EXPECT_EQ(tray.CurrentIcon(), Icons().sent);
    tray.ShowTraffic(8, 11);
    EXPECT_EQ(tray.CurrentIcon(), Icons().received);
    tray.ShowTraffic(8, 11);  // quiet again
    EXPECT_EQ(tray.CurrentIcon(), Icons().normal);
    for (size_t i = afterAdd; i < shell.calls.size(); ++i) {
        EXPECT_EQ(shell.calls[i].action, DWORD{NIM_MODIFY});
    }
}

}  // namespace
}  // namespace tarvu::win32
