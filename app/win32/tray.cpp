#include "app/win32/tray.h"

#include "app/win32/tray_rect.h"

// windows.h (through tray.h) names its own OutputDebugString as a macro; ours is meant.
#undef OutputDebugString
#include "platform/debug_output.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <shellapi.h>

namespace tarvu::win32 {
namespace {

constexpr UINT kMenuRestore = 1;
constexpr UINT kMenuAbout = 2;

}  // namespace

TrayShell SystemTrayShell() {
    TrayShell shell;
    shell.notify = [](DWORD action, const NOTIFYICONDATAW& data) {
        NOTIFYICONDATAW copy = data;
        return ::Shell_NotifyIconW(action, &copy) != FALSE;
    };
    shell.iconsVisible = [] {
        HWND tray = ::FindWindowW(L"Shell_TrayWnd", nullptr);
        if (tray != nullptr && ::IsWindowVisible(tray)) {
            return true;
        }
        // Wine keeps that window hidden: its X11 driver shows the icons in a tray window of
        // its own, or docks them into the desktop's notification area as windows of their own.
        for (const wchar_t* wineClass : {L"__winex11_standalone_tray", L"__wine_tray_icon"}) {
            for (HWND window = ::FindWindowExW(nullptr, nullptr, wineClass, nullptr);
                 window != nullptr; window = ::FindWindowExW(nullptr, window, wineClass, nullptr)) {
                if (::IsWindowVisible(window)) {
                    return true;
                }
            }
        }
        return false;
    };
    return shell;
}

std::wstring TrayTip() {
    return L"Tarvu(Дважды клик мышой дабы показать!)";
}

bool AnimationsEnabled() {
    const char* off = std::getenv("TARVU_NO_ANIMATION");
    if (off != nullptr && std::strcmp(off, "1") == 0) {
        return false;
    }
    ANIMATIONINFO info = {};
    info.cbSize = sizeof info;
    return ::SystemParametersInfoW(SPI_GETANIMATION, sizeof info, &info, 0) &&
           info.iMinAnimate != 0;
}

Tray::Tray(HWND window, TrayIcons icons, std::function<void()> about, TrayShell shell)
    : window_(window),
      icons_(icons),
      about_(std::move(about)),
      shell_(std::move(shell)),
      shown_(icons.normal) {
}

Tray::~Tray() {
    if (iconAdded_) {
        Notify(NIM_DELETE, nullptr);
    }
}

bool Tray::Notify(DWORD action, HICON icon) const {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = 0;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = icon;
    const std::wstring tip = TrayTip();
    std::wcsncpy(data.szTip, tip.c_str(), sizeof data.szTip / sizeof data.szTip[0] - 1);
    return shell_.notify && shell_.notify(action, data);
}

bool Tray::TrayAvailable() const {
    if (iconAdded_) {
        return true;
    }
    if (!Notify(NIM_ADD, icons_.normal)) {
        OutputDebugString("tray: the shell refused the icon; the window minimises instead\n");
        return false;
    }
    if (shell_.iconsVisible && !shell_.iconsVisible()) {
        OutputDebugString("tray: no notification area shows the icon; the window minimises\n");
        Notify(NIM_DELETE, nullptr);
        return false;
    }
    iconAdded_ = true;
    shown_ = icons_.normal;
    return true;
}

void Tray::AddIcon() {
    TrayAvailable();
}

void Tray::RemoveIcon() {
    if (iconAdded_) {
        Notify(NIM_DELETE, nullptr);
        iconAdded_ = false;
    }
}

void Tray::OnTaskbarCreated() {
    if (iconAdded_) {
        Notify(NIM_ADD, shown_);
    }
}

void Tray::HideWindow() {
    if (AnimationsEnabled() && !::IsIconic(window_)) {
        RECT from;
        ::GetWindowRect(window_, &from);
        const RECT to = ChooseTrayRect(CurrentTraySurroundings());
        ::DrawAnimatedRects(window_, IDANI_CAPTION, &from, &to);
    }
    ::ShowWindow(window_, SW_HIDE);
}

void Tray::ShowWindow() {
    if (AnimationsEnabled() && !::IsIconic(window_)) {
        // The hidden window keeps its rectangle.
        const RECT from = ChooseTrayRect(CurrentTraySurroundings());
        RECT to;
        ::GetWindowRect(window_, &to);
        ::DrawAnimatedRects(window_, IDANI_CAPTION, &from, &to);
    }
    ::ShowWindow(window_, ::IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    ::SetActiveWindow(window_);
    ::SetForegroundWindow(window_);
}

bool Tray::OnIconMessage(LPARAM mouseMessage) {
    switch (static_cast<UINT>(mouseMessage)) {
        case WM_LBUTTONUP:
            controller_.ButtonUp();
            return true;
        case WM_LBUTTONDBLCLK:
            controller_.DoubleClick();
            return true;
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
            ShowMenu();
            return true;
        default:
            return false;
    }
}

void Tray::ShowMenu() {
    HMENU menu = ::CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    // Some notification areas never report a double-click; the menu keeps the window in reach.
    ::AppendMenuW(menu, MF_STRING, kMenuRestore, L"Восстановить");
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kMenuAbout, L"&About Tarvu...");
    POINT where;
    ::GetCursorPos(&where);
    // The menu closes when the user clicks elsewhere only if its owner is in the foreground.
    ::SetForegroundWindow(window_);
    const UINT chosen =
        static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                           where.x, where.y, 0, window_, nullptr));
    ::PostMessageW(window_, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
    if (chosen == kMenuRestore) {
        controller_.RestoreNow();
    } else if (chosen == kMenuAbout && about_) {
        about_();
    }
}

void Tray::ShowTraffic(uint64_t sent, uint64_t received) {
    const bool out = sent != lastSent_;
    const bool in = received != lastReceived_;
    lastSent_ = sent;
    lastReceived_ = received;
    if (!iconAdded_) {
        return;
    }
    HICON next = icons_.normal;
    if (out && in) {
        // Both ways: the arrows take turns.
        next = shown_ == icons_.sent ? icons_.received : icons_.sent;
    } else if (out) {
        next = icons_.sent;
    } else if (in) {
        next = icons_.received;
    }
    if (next != nullptr && next != shown_ && Notify(NIM_MODIFY, next)) {
        shown_ = next;
    }
}

}  // namespace tarvu::win32
