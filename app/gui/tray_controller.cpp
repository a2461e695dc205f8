#include "app/gui/tray_controller.h"

namespace tarvu {

bool TrayController::Minimise() {
    if (!host_.TrayAvailable()) {
        return false;
    }
    host_.HideWindow();
    windowHidden_ = true;
    if (!iconPresent_) {
        host_.AddIcon();
        iconPresent_ = true;
    }
    // A release still outstanding from an earlier double-click must not take away the icon
    // of the window that is now hidden.
    restorePending_ = false;
    return true;
}

void TrayController::ButtonUp() {
    if (!restorePending_) {
        return;
    }
    host_.RemoveIcon();
    iconPresent_ = false;
    restorePending_ = false;
}

void TrayController::DoubleClick() {
    if (!iconPresent_) {
        return;
    }
    host_.ShowWindow();
    windowHidden_ = false;
    restorePending_ = true;
}

void TrayController::RestoreNow() {
    if (!iconPresent_) {
        return;
    }
    if (windowHidden_) {
        host_.ShowWindow();
        windowHidden_ = false;
    }
    host_.RemoveIcon();
    iconPresent_ = false;
    restorePending_ = false;
}

}  // namespace tarvu
