#pragma once
// Hiding the dialog in the notification area and bringing it back: the state machine of the
// tray icon, kept free of the toolkit so that it can be driven directly. The host does the
// actual hiding, showing and icon handling.

namespace tarvu {

class TrayHost {
public:
    virtual ~TrayHost() = default;
    // False on desktops without a notification area: the window then minimises normally,
    // since a hidden window without an icon could never be brought back.
    virtual bool TrayAvailable() const = 0;
    // Animates towards the icon (when the desktop animates) and hides the window.
    virtual void HideWindow() = 0;
    // Animates back from the icon and shows, activates and raises the window.
    virtual void ShowWindow() = 0;
    virtual void AddIcon() = 0;
    virtual void RemoveIcon() = 0;
};

class TrayController {
public:
    explicit TrayController(TrayHost& host) : host_(host) {}

    // A request to minimise. Returns false when the window should minimise normally.
    bool Minimise();
    // The left button released over the icon. Removes the icon after a double-click restore.
    void ButtonUp();
    // A double-click on the icon: shows the window; the icon goes with the next ButtonUp.
    void DoubleClick();
    // Restore chosen from the icon's menu: no button release follows, so the icon goes now.
    void RestoreNow();

    bool RestorePending() const { return restorePending_; }
    bool IconPresent() const { return iconPresent_; }
    bool WindowHidden() const { return windowHidden_; }

private:
    TrayHost& host_;
    bool restorePending_ = false;
    bool iconPresent_ = false;
    bool windowHidden_ = false;
};

}  // namespace tarvu
