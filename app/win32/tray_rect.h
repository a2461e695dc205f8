#pragma once
// Where the window shrinks to when it hides in the notification area, and where it grows from
// when it comes back: the notification area itself when the taskbar shows one, else a place
// near the taskbar's end, else the bottom-right corner of the work area.

#include <optional>
#include <windows.h>

namespace tarvu::win32 {

struct TraySurroundings {
    std::optional<RECT> notifyArea;  // the taskbar's notification area ("TrayNotifyWnd")
    bool taskbarAnswered = false;    // the shell told the taskbar's place and edge
    RECT taskbar = {};
    UINT taskbarEdge = 0;            // ABE_LEFT, ABE_TOP, ABE_RIGHT or ABE_BOTTOM
    std::optional<RECT> trayWindow;  // the taskbar window ("Shell_TrayWnd")
    RECT workArea = {};
};

// The first rule that applies: the notification area; near the end of a taskbar the shell
// describes (100 to 16 pixels before its far end); the taskbar window's last 150 x 30 pixels;
// 150 x 30 pixels at the bottom right of the work area. A taskbar on an edge the shell does
// not name gives an empty rectangle.
RECT ChooseTrayRect(const TraySurroundings& surroundings);

// The surroundings as the system shows them now.
TraySurroundings CurrentTraySurroundings();

}  // namespace tarvu::win32
