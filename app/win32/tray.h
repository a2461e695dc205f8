#pragma once
// The dialog's icon in the notification area: carries out what TrayController decides
// (hiding and showing the window with the caption animation, adding and removing the icon)
// and turns the icon's mouse messages into the controller's events. While the window hides,
// the icon shows the traffic: the right arrow lit while packets go out, the left one while
// datagrams come in.

#include "app/gui/tray_controller.h"

#include <windows.h>
// after the header above, which it builds on
#include <cstdint>
#include <functional>
#include <shellapi.h>
#include <string>

namespace tarvu::win32 {

// The message the icon sends to the window, its mouse message in the second parameter.
inline constexpr UINT kTrayCallbackMessage = WM_USER;

// What the shell offers the icon: adding, changing and deleting it (Shell_NotifyIconW), and
// whether icons it accepted can be seen at all (a desktop may accept them and show none).
struct TrayShell {
    std::function<bool(DWORD action, const NOTIFYICONDATAW& data)> notify;
    std::function<bool()> iconsVisible;
};

// The system's shell: the taskbar's notification area, or under Wine its tray window or the
// icons it docked into the desktop's own notification area.
TrayShell SystemTrayShell();

struct TrayIcons {
    HICON normal = nullptr;    // icon 128
    HICON sent = nullptr;      // a packet went out
    HICON received = nullptr;  // a datagram came in
};

class Tray : public TrayHost {
public:
    // `window` is the dialog; `about` opens the About box (the icon's menu offers it).
    Tray(HWND window, TrayIcons icons, std::function<void()> about,
         TrayShell shell = SystemTrayShell());
    ~Tray() override;
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    TrayController& Controller() { return controller_; }

    // The icon's callback message; true when handled.
    bool OnIconMessage(LPARAM mouseMessage);
    // The taskbar was created anew (Explorer restarted): a present icon is put back.
    void OnTaskbarCreated();
    // Counts of the datagrams sent and received so far, a few times a second: while the icon
    // is present, it shows which way traffic passed since the last call.
    void ShowTraffic(uint64_t sent, uint64_t received);

    // Adds the icon when it is not there yet: a desktop without a notification area refuses
    // it (or accepts it and shows nothing, then it is taken back), and the window then
    // minimises normally, since a hidden window without an icon could never be brought back.
    bool TrayAvailable() const override;
    void HideWindow() override;
    void ShowWindow() override;
    void AddIcon() override;
    void RemoveIcon() override;

    bool IconPresent() const { return iconAdded_; }
    HICON CurrentIcon() const { return shown_; }

private:
    bool Notify(DWORD action, HICON icon) const;
    void ShowMenu();

    HWND window_;
    TrayIcons icons_;
    std::function<void()> about_;
    TrayShell shell_;
    TrayController controller_{*this};
    mutable bool iconAdded_ = false;
    mutable HICON shown_ = nullptr;
    uint64_t lastSent_ = 0;
    uint64_t lastReceived_ = 0;
};

// The tip of the icon.
std::wstring TrayTip();

// Whether the system animates minimising (and TARVU_NO_ANIMATION=1 is not set).
bool AnimationsEnabled();

}  // namespace tarvu::win32
