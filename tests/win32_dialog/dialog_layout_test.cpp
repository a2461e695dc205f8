// The running dialog 102 against the control table: every control's identifier,
// class, style, visibility, state and rectangle in dialog units, in tab order; the hidden
// controls as start-up leaves them; the address list's lines; the About box of the system
// menu's item 16.

#include "tarvu_build_info.h"
#include "tests/win32/dialog_table.h"
#include "tests/win32_dialog/dialog_fixture.h"

#include <cwctype>

namespace tarvu::testing {
namespace {

// A dialog-unit rectangle from pixels, scaled by the client area (688 x 399 units):
// MapDialogRect does not work on another process's dialog.
RECT ToUnits(const RECT& pixels, const RECT& client) {
    auto x = [&](LONG value) {
        return (value * kDialogWidthUnits * 2 + client.right) / (2 * client.right);
    };
    auto y = [&](LONG value) {
        return (value * kDialogHeightUnits * 2 + client.bottom) / (2 * client.bottom);
    };
    return {x(pixels.left), y(pixels.top), x(pixels.right - pixels.left),
            y(pixels.bottom - pixels.top)};
}

// "192.168.001.005   255.255.255.000": two dotted quads of three digits, three blanks between.
bool IsAddressLine(const std::wstring& line) {
    if (line.size() != 33) {
        return false;
    }
    for (size_t i = 0; i < line.size(); ++i) {
        const size_t inQuad = i < 15 ? i : i - 18;
        const bool separator = i >= 15 && i < 18;
        const wchar_t c = line[i];
        if (separator ? c != L' ' : (inQuad % 4 == 3 ? c != L'.' : !std::iswdigit(c))) {
            return false;
        }
    }
    return true;
}

TEST_F(DialogTest, EveryControlOfDialog102AsTheTableGivesIt) {
    StoreReadPort(FreePort());
    HWND dialog = StartDialog();
    ASSERT_NE(dialog, nullptr);
    const auto shown = std::chrono::steady_clock::now();
    std::printf("start-up to a visible dialog: %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           shown - process_.Started())
                                           .count()));

    EXPECT_EQ(WindowText(dialog), kDialogCaption);
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(dialog, GWL_STYLE));
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              DWORD{WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX});
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);

    RECT client;
    ASSERT_TRUE(::GetClientRect(dialog, &client));
    ASSERT_GT(client.right, 0);
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    const std::vector<ControlRow>& table = Dialog102();
    ASSERT_EQ(children.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        const ControlRow& row = table[i];
        HWND control = children[i];
        SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(row.id));
        EXPECT_EQ(::GetDlgCtrlID(control) & 0xFFFF, row.id);
        EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), row.className), 0) << Utf8Of(ClassOf(control));
        DWORD controlStyle = static_cast<DWORD>(::GetWindowLongW(control, GWL_STYLE));
        // The dialog manager draws an edit's border as a sunken edge: WS_EX_CLIENTEDGE
        // takes the place of WS_BORDER.
        if (::GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) {
            controlStyle |= WS_BORDER;
        }
        EXPECT_EQ(controlStyle & row.typeMask, row.type);
        // A list box shows its scroll bar, and the bit, only when its lines need it.
        const DWORD scrollBars = WS_VSCROLL | WS_HSCROLL;
        EXPECT_EQ(controlStyle & row.required & ~scrollBars, row.required & ~scrollBars);
        EXPECT_EQ(controlStyle & row.forbidden, 0u);
        EXPECT_EQ((controlStyle & WS_VISIBLE) != 0, row.visible);
        EXPECT_EQ(::IsWindowEnabled(control) != FALSE, row.enabled);
        if (row.text != nullptr) {
            EXPECT_EQ(WindowText(control), row.text);
        }

        RECT pixels;
        ASSERT_TRUE(::GetWindowRect(control, &pixels));
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&pixels), 2);
        const RECT units = ToUnits(pixels, client);
        EXPECT_NEAR(units.left, row.units.left, 1);
        EXPECT_NEAR(units.top, row.units.top, 1);
        EXPECT_NEAR(units.right, row.units.right, 1);
        // A drop-down combo box is as high as its edit field; its template height is the list's.
        if (_wcsicmp(row.className, L"ComboBox") != 0) {
            EXPECT_NEAR(units.bottom, row.units.bottom, 1);
        }
    }

    // Start-up leaves the hidden combo box on its first item, the empty one.
    HWND combo = ::GetDlgItem(dialog, 1039);
    EXPECT_EQ(Send(combo, CB_GETCOUNT).value_or(-1), 2);
    EXPECT_EQ(Send(combo, CB_GETCURSEL).value_or(-1), 0);
    wchar_t item[64] = {};
    ASSERT_TRUE(Send(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(item)));
    EXPECT_STREQ(item, L"АВТО! (С протоколом КОНВЕРТОРА/КЕБ)");

    HWND list = ::GetDlgItem(dialog, 1035);
    const LRESULT lines = Send(list, LB_GETCOUNT).value_or(-1);
    for (LRESULT i = 0; i < lines; ++i) {
        wchar_t line[64] = {};
        ASSERT_TRUE(Send(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line)));
        EXPECT_TRUE(IsAddressLine(line)) << Utf8Of(line);
    }

    // System-menu item 16 opens the About box; the dialog goes on when it is closed.
    ::PostMessageW(dialog, WM_SYSCOMMAND, 16, 0);
    const std::optional<Box> about = process_.WaitForBox();
    ASSERT_TRUE(about);
    EXPECT_EQ(about->caption, L"About Tarvu");
    EXPECT_EQ(WindowText(::GetDlgItem(about->window, 1000)),
              WideOf("Tarvu Version " TARVU_VERSION));
    EXPECT_EQ(WindowText(::GetDlgItem(about->window, 1001)), WideOf(TARVU_COPYRIGHT_LINE));
    EXPECT_EQ(WindowText(::GetDlgItem(about->window, 1002)), WideOf(TARVU_LICENSE_LINE));
    EXPECT_TRUE(DialogProcess::Dismiss(*about));

    DialogWindow(dialog).PressKey(1040, VK_ESCAPE);
    ExpectEnds();
}

}  // namespace
}  // namespace tarvu::testing
