// The Win32 dialog's window in the test's own process (its resources are linked in): the
// icons and the system menu, the four controls the engine reads kept current on every
// change, the trace field's 200 lines with the newest three on top, "Clear trace" against
// lines still queued, a selection kept while lines arrive, and the trace field's one menu.

#include "app/win32/main_dialog.h"

#include "app/settings.h"
#include "app/win32/resource_ids.h"
#include "app/win32/trace_menu.h"
#include "platform/cp1251.h"
#include "record/session_store.h"
#include "tests/support/temp_directory.h"
#include "tests/win32_dialog/dialog_driver.h"
#include "trace/session_figures.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <thread>

namespace tarvu::win32 {
namespace {

using ::tarvu::testing::ReadBytes;

// Runs the thread's messages until `done` holds or `timeoutMs` passed.
template <typename Condition>
bool Pump(Condition done, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

std::wstring Text(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::string Line(int n) {
    char text[64];
    std::snprintf(text, sizeof text, "line %03d of the trace\n", n);
    return text;
}

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dialog_.Valid());
        dialog_.Show();
    }
    HWND Item(int id) const { return ::GetDlgItem(dialog_.Handle(), id); }

    MainDialog dialog_{::GetModuleHandleW(nullptr)};
};

TEST_F(MainDialogTest, IconsSystemMenuAndTraceFont) {
    EXPECT_NE(::SendMessageW(dialog_.Handle(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(::SendMessageW(dialog_.Handle(), WM_GETICON, ICON_SMALL, 0), 0);

    HMENU system = ::GetSystemMenu(dialog_.Handle(), FALSE);
    ASSERT_NE(system, nullptr);
    const int last = ::GetMenuItemCount(system) - 1;
    EXPECT_EQ(::GetMenuItemID(system, last), UINT{IDM_ABOUTBOX});
    wchar_t item[64] = {};
    ::GetMenuStringW(system, static_cast<UINT>(last), item, 64, MF_BYPOSITION);
    EXPECT_STREQ(item, L"&About Tarvu...");
    EXPECT_EQ(::GetMenuState(system, static_cast<UINT>(last - 1), MF_BYPOSITION) & MF_SEPARATOR,
              UINT{MF_SEPARATOR});

    LOGFONTW font = {};
    auto handle = reinterpret_cast<HFONT>(::SendMessageW(Item(IDC_TRACE), WM_GETFONT, 0, 0));
    ASSERT_NE(::GetObjectW(handle, sizeof font, &font), 0);
    EXPECT_STREQ(font.lfFaceName, L"Courier New");
    EXPECT_EQ(font.lfHeight, -12);
    EXPECT_EQ(font.lfCharSet, RUSSIAN_CHARSET);
}

TEST_F(MainDialogTest, TheEngineSeesEveryChangeOfItsFourControls) {
    const MainWindow& engine = dialog_.Controls();
    dialog_.SetReadPortText("10002");
    dialog_.SetSendPortText("10003");
    dialog_.SetSubstitutionChecked(true);
    dialog_.SetIpAddress({10, 0, 0, 17});
    EXPECT_EQ(engine.ReadPortText(), "10002");
    EXPECT_EQ(engine.SendPortText(), "10003");
    EXPECT_TRUE(engine.SubstitutionChecked());
    EXPECT_EQ(engine.ReadIpAddress(), (std::array<uint8_t, 4>{10, 0, 0, 17}));

    // Typed and clicked, as by the engineer.
    int readPortChanges = 0;
    DialogHooks hooks;
    hooks.readPortChanged = [&] { ++readPortChanges; };
    dialog_.SetHooks(hooks);
    ::SendMessageW(Item(IDC_READ_PORT), EM_SETSEL, 0, -1);
    for (const wchar_t c : std::wstring(L"123")) {
        ::SendMessageW(Item(IDC_READ_PORT), WM_CHAR, c, 1);
    }
    EXPECT_EQ(readPortChanges, 3);
    EXPECT_EQ(engine.ReadPortText(), "123");
    ::SendMessageW(Item(IDC_SEND_PORT), EM_SETSEL, 0, -1);
    ::SendMessageW(Item(IDC_SEND_PORT), WM_CHAR, L'7', 1);
    EXPECT_EQ(engine.SendPortText(), "7");
    ::SendMessageW(Item(IDC_SUBSTITUTION), BM_CLICK, 0, 0);
    EXPECT_FALSE(engine.SubstitutionChecked());
    ::SendMessageW(Item(IDC_DESTINATION), IPM_SETADDRESS, 0, MAKEIPADDRESS(192, 168, 1, 5));
    Pump([&] { return engine.ReadIpAddress() == std::array<uint8_t, 4>{192, 168, 1, 5}; }, 1000);
    EXPECT_EQ(engine.ReadIpAddress(), (std::array<uint8_t, 4>{192, 168, 1, 5}));
    dialog_.SetHooks({});
}

TEST_F(MainDialogTest, TheTraceKeepsTwoHundredLinesWithTheNewestThreeOnTop) {
    // Lines from another thread, as the engine's worker traces them.
    std::thread worker([this] {
        for (int i = 1; i <= 250; ++i) {
            dialog_.AppendTraceLine(Line(i));
        }
    });
    worker.join();
    ASSERT_TRUE(Pump([this] { return dialog_.Trace().LinesTaken() == 250; }));
    HWND trace = Item(IDC_TRACE);
    std::wstring expected;
    for (int i = 51; i <= 250; ++i) {
        expected += ::tarvu::testing::WideOf(Line(i).substr(0, Line(i).size() - 1)) + L"\r\n";
    }
    EXPECT_EQ(Text(trace), expected);
    EXPECT_EQ(::SendMessageW(trace, EM_GETLINECOUNT, 0, 0), 201);
    // Line count minus 4 on top, unless the field does not scroll past its last line.
    const LRESULT first = ::SendMessageW(trace, EM_GETFIRSTVISIBLELINE, 0, 0);
    RECT area;
    ::SendMessageW(trace, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
    const LRESULT lineHeight =
        HIWORD(::SendMessageW(trace, EM_POSFROMCHAR,
                              static_cast<WPARAM>(::SendMessageW(trace, EM_LINEINDEX, 1, 0)), 0)) -
        HIWORD(::SendMessageW(trace, EM_POSFROMCHAR,
                              static_cast<WPARAM>(::SendMessageW(trace, EM_LINEINDEX, 0, 0)), 0));
    const LRESULT visible = lineHeight > 0 ? (area.bottom - area.top) / lineHeight : 0;
    std::printf("first visible line %ld of 201, %ld lines visible\n", static_cast<long>(first),
                static_cast<long>(visible));
    EXPECT_TRUE(first == 197 || first == 201 - visible) << first;

    // One more line pushes out the oldest.
    dialog_.AppendTraceLine(Line(251));
    ASSERT_TRUE(Pump([this] { return dialog_.Trace().LinesTaken() == 251; }));
    EXPECT_EQ(Text(trace).substr(0, 22), L"line 052 of the trace\r");
    EXPECT_EQ(::SendMessageW(trace, EM_GETLINECOUNT, 0, 0), 201);
}

TEST_F(MainDialogTest, ClearTraceDropsTheLinesStillQueued) {
    dialog_.AppendTraceLine(Line(1));
    ASSERT_TRUE(Pump([this] { return dialog_.Trace().LinesTaken() == 1; }));
    for (int i = 2; i <= 5; ++i) {
        dialog_.AppendTraceLine(Line(i));
    }
    // Pressed before the queued lines were taken in: none of them shows afterwards.
    ::SendMessageW(Item(IDC_CLEAR_TRACE), BM_CLICK, 0, 0);
    Pump([] { return false; }, static_cast<int>(TraceField::kLongestDrainIntervalMs) + 100);
    EXPECT_EQ(Text(Item(IDC_TRACE)), L"");
    dialog_.AppendTraceLine(Line(6));
    ASSERT_TRUE(Pump([this] { return !Text(Item(IDC_TRACE)).empty(); }));
    EXPECT_EQ(Text(Item(IDC_TRACE)), L"line 006 of the trace\r\n");
}

TEST_F(MainDialogTest, ASelectionStaysOnItsTextWhileLinesArrive) {
    for (int i = 1; i <= 200; ++i) {
        dialog_.AppendTraceLine(Line(i));
    }
    ASSERT_TRUE(Pump([this] { return dialog_.Trace().LinesTaken() == 200; }));
    HWND trace = Item(IDC_TRACE);
    const LRESULT start = ::SendMessageW(trace, EM_LINEINDEX, 150, 0);  // "line 151 ..."
    ::SendMessageW(trace, EM_SETSEL, static_cast<WPARAM>(start), start + 8);
    for (int i = 201; i <= 210; ++i) {
        dialog_.AppendTraceLine(Line(i));
    }
    ASSERT_TRUE(Pump([this] { return dialog_.Trace().LinesTaken() == 210; }));
    DWORD from = 0;
    DWORD to = 0;
    ::SendMessageW(trace, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                   reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(Text(trace).substr(from, to - from), L"line 151");
}

TEST_F(MainDialogTest, TheTraceMenuIsOneMenuWithTheSessionItems) {
    TempDirectory folder;
    Settings settings(folder / "settings.ini");
    SessionStore store;
    SessionTracker session;
    TraceMenu menu(dialog_, ::GetModuleHandleW(nullptr), store, session, settings);

    std::vector<std::wstring> texts;
    for (const MenuEntry& entry : menu.Entries()) {
        if (!entry.text.empty()) {
            texts.push_back(entry.text);
        }
    }
    const std::vector<std::wstring> expected = {L"&Отменить",
                                                L"Вы&резать",
                                                L"&Копировать",
                                                L"Вст&авить",
                                                L"&Удалить",
                                                L"Выделить в&сё",
                                                L"Сохранить протокол…",
                                                L"Сохранить захват (pcap)…",
                                                L"Расшифровка пакетов",
                                                L"Показатели сеанса..."};
    EXPECT_EQ(texts, expected);

    // The decode switch is kept in the settings file, written only when changed.
    EXPECT_FALSE(session.Decode());
    EXPECT_FALSE(std::filesystem::exists(settings.File()));
    menu.Run(TraceMenu::kDecode);
    EXPECT_TRUE(session.Decode());
    EXPECT_EQ(settings.Read("TARVU", "РАСШИФРОВКА"), "да");
    bool checked = false;
    for (const MenuEntry& entry : menu.Entries()) {
        checked = checked || (entry.command == TraceMenu::kDecode && entry.checked);
    }
    EXPECT_TRUE(checked);

    // "Сохранить протокол…" saves the whole session kept, through the chosen file.
    dialog_.SetReadPortText("10001");
    const char line[] = "12:00:00.000 127.000.000.001:10002 --> 01 02\n";
    const uint8_t bytes[] = {1, 2};
    TraceBlock block;
    block.data = bytes;
    block.length = 2;
    store.Record(block, line, std::chrono::system_clock::now());
    const std::filesystem::path saved = folder / "сеанс.log";
    menu.SetFileChooser([&](const std::wstring& title, bool capture) {
        EXPECT_EQ(title, TraceMenu::SaveLogText());
        EXPECT_FALSE(capture);
        return saved.u8string().empty()
                   ? std::string()
                   : std::string(reinterpret_cast<const char*>(saved.u8string().c_str()));
    });
    menu.Run(TraceMenu::kSaveLog);
    const std::string log = ReadBytes(saved);
    EXPECT_EQ(log.rfind("# ", 0), 0u) << log;
    EXPECT_NE(log.find(line), std::string::npos) << log;

    menu.Run(TraceMenu::kFigures);
    ASSERT_TRUE(menu.Figures().Open());
    EXPECT_NE(Text(::GetWindow(menu.Figures().Handle(), GW_CHILD)).find(L"received:"),
              std::wstring::npos);
}

}  // namespace
}  // namespace tarvu::win32
