#include "app/win32/trace_menu.h"

#include "app/decode_setting.h"
#include "app/session_settings.h"
#include "app/win32/main_dialog.h"
#include "app/win32/resource_ids.h"
#include "platform/message_box.h"
#include "platform/win32/system_text.h"
#include "record/session_store.h"
#include "trace/session_figures.h"

#include <chrono>
#include <commdlg.h>
#include <vector>

namespace tarvu::win32 {
namespace {

constexpr std::chrono::milliseconds kFiguresRefresh{250};

// The system's save dialog; the chosen path as UTF-8, empty when cancelled.
std::string SaveFileDialog(HWND owner, const std::wstring& title, bool capture) {
    std::vector<wchar_t> path(32768, L'\0');
    // Filter pairs separated by NULs, the list ended by a second NUL.
    static constexpr wchar_t kLogFilter[] = L"Log (*.log, *.txt)\0*.log;*.txt\0* (*.*)\0*.*\0";
    static constexpr wchar_t kCaptureFilter[] = L"pcap (*.pcap)\0*.pcap\0* (*.*)\0*.*\0";
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = capture ? kCaptureFilter : kLogFilter;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = capture ? L"pcap" : L"log";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!::GetSaveFileNameW(&dialog)) {
        return {};
    }
    return Utf8(path.data());
}

std::wstring WithCrLf(const std::string& text) {
    std::string lines;
    for (const char c : text) {
        if (c == '\n') {
            lines += '\r';
        }
        lines += c;
    }
    while (!lines.empty() && (lines.back() == '\n' || lines.back() == '\r')) {
        lines.pop_back();
    }
    return Wide(lines);
}

}  // namespace

std::wstring TraceMenu::SaveLogText() {
    return L"Сохранить протокол…";
}

std::wstring TraceMenu::SaveCaptureText() {
    return L"Сохранить захват (pcap)…";
}

TraceMenu::TraceMenu(MainDialog& dialog, HINSTANCE instance, SessionStore& store,
                     SessionTracker& session, const Settings& settings)
    : dialog_(dialog), store_(store), session_(session), settings_(settings), figures_(instance) {
    session_.SetDecode(StoredDecodeSwitch(settings_));
}

HWND TraceMenu::Field() const {
    return ::GetDlgItem(dialog_.Handle(), IDC_TRACE);
}

std::vector<MenuEntry> TraceMenu::Entries() const {
    HWND field = Field();
    DWORD start = 0;
    DWORD end = 0;
    ::SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    const int length = ::GetWindowTextLengthW(field);
    // The field is read-only: only copying and selecting apply to it.
    std::vector<MenuEntry> entries = {
        {L"&Отменить", kUndo, false, false},
        {},
        {L"Вы&резать", kCut, false, false},
        {L"&Копировать", kCopy, end > start, false},
        {L"Вст&авить", kPaste, false, false},
        {L"&Удалить", kDelete, false, false},
        {},
        {L"Выделить в&сё", kSelectAll, length > 0 && !(start == 0 && end >= DWORD(length)), false},
        {},
        {SaveLogText(), kSaveLog, true, false},
        {SaveCaptureText(), kSaveCapture, true, false},
    };
    entries.push_back({});
    entries.push_back({L"Расшифровка пакетов", kDecode, true, session_.Decode()});
    entries.push_back({L"Показатели сеанса...", kFigures, true, false});
    return entries;
}

void TraceMenu::Show(POINT where) {
    HMENU menu = ::CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    for (const MenuEntry& entry : Entries()) {
        if (entry.text.empty()) {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING;
        flags |= entry.enabled ? MF_ENABLED : MF_GRAYED;
        flags |= entry.checked ? MF_CHECKED : MF_UNCHECKED;
        ::AppendMenuW(menu, flags, entry.command, entry.text.c_str());
    }
    const UINT chosen =
        static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                           where.x, where.y, 0, dialog_.Handle(), nullptr));
    ::DestroyMenu(menu);
    if (chosen != 0) {
        Run(chosen);
    }
}

void TraceMenu::Run(UINT command) {
    HWND field = Field();
    switch (command) {
        case kCopy:
            ::SendMessageW(field, WM_COPY, 0, 0);
            break;
        case kSelectAll:
            ::SendMessageW(field, EM_SETSEL, 0, -1);
            break;
        case kSaveLog: {
            const std::string path = ChooseFile(SaveLogText(), false);
            if (!path.empty()) {
                SaveLog(path);
            }
            break;
        }
        case kSaveCapture: {
            const std::string path = ChooseFile(SaveCaptureText(), true);
            if (!path.empty()) {
                SaveCapture(path);
            }
            break;
        }
        case kDecode:
            SetDecode(!session_.Decode());
            break;
        case kFigures:
            ShowFigures();
            break;
        default:
            // Undo, cut, paste and delete: never enabled on the read-only field.
            break;
    }
}

std::string TraceMenu::ChooseFile(const std::wstring& title, bool capture) const {
    return chooser_ ? chooser_(title, capture) : SaveFileDialog(dialog_.Handle(), title, capture);
}

bool TraceMenu::SaveLog(const std::string& path) {
    std::string error;
    if (store_.SaveLog(path, CurrentSessionSettings(dialog_.Controls(), {}), error)) {
        return true;
    }
    ShowMessageBox(Utf8(SaveLogText().c_str()), error);
    return false;
}

bool TraceMenu::SaveCapture(const std::string& path) {
    std::string error;
    // The socket is bound to every local address, on the read port.
    if (store_.SaveCapture(path, 0, CurrentReadPort(dialog_.Controls()), error)) {
        return true;
    }
    ShowMessageBox(Utf8(SaveCaptureText().c_str()), error);
    return false;
}

void TraceMenu::SetDecode(bool on) {
    session_.SetDecode(on);
    StoreDecodeSwitch(settings_, on);
}

std::wstring TraceMenu::FiguresText() const {
    return WithCrLf(FormatSessionFiguresWithNote(session_.Figures()));
}

void TraceMenu::ShowFigures() {
    figures_.Show(FiguresText());
    dialog_.StartTimer(MainDialog::kFiguresTimer, kFiguresRefresh, [this] {
        if (!figures_.Open()) {
            dialog_.StopTimer(MainDialog::kFiguresTimer);
            return;
        }
        figures_.Update(FiguresText());
    });
}

}  // namespace tarvu::win32
