#include "app/win32/tray_rect.h"

#include <shellapi.h>

namespace tarvu::win32 {

RECT ChooseTrayRect(const TraySurroundings& surroundings) {
    if (surroundings.notifyArea) {
        return *surroundings.notifyArea;
    }
    if (surroundings.taskbarAnswered) {
        RECT rect = {};
        const RECT& bar = surroundings.taskbar;
        switch (surroundings.taskbarEdge) {
            case ABE_LEFT:
            case ABE_RIGHT:
                // A vertical taskbar: a band across its width near its bottom.
                rect = {bar.left, bar.bottom - 100, bar.right, bar.bottom - 16};
                break;
            case ABE_TOP:
            case ABE_BOTTOM:
                rect = {bar.right - 100, bar.top, bar.right - 16, bar.bottom};
                break;
            default:
                break;
        }
        return rect;
    }
    if (surroundings.trayWindow) {
        RECT rect = *surroundings.trayWindow;
        if (rect.right - rect.left > 150) {
            rect.left = rect.right - 150;
        }
        if (rect.bottom - rect.top > 30) {
            rect.top = rect.bottom - 30;
        }
        return rect;
    }
    RECT rect = surroundings.workArea;
    rect.left = rect.right - 150;
    rect.top = rect.bottom - 30;
    return rect;
}

TraySurroundings CurrentTraySurroundings() {
    TraySurroundings surroundings;
    HWND tray = ::FindWindowW(L"Shell_TrayWnd", nullptr);
    if (tray != nullptr) {
        if (HWND notify = ::FindWindowExW(tray, nullptr, L"TrayNotifyWnd", nullptr)) {
            RECT rect;
            if (::GetWindowRect(notify, &rect)) {
                surroundings.notifyArea = rect;
            }
        }
        RECT rect;
        if (::GetWindowRect(tray, &rect)) {
            surroundings.trayWindow = rect;
        }
    }
    APPBARDATA bar = {};
    bar.cbSize = sizeof bar;
    if (::SHAppBarMessage(ABM_GETTASKBARPOS, &bar) != 0) {
        surroundings.taskbarAnswered = true;
        surroundings.taskbar = bar.rc;
        surroundings.taskbarEdge = bar.uEdge;
    }
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &surroundings.workArea, 0);
    return surroundings;
}

}  // namespace tarvu::win32
