#pragma once
// The About box (dialog 100): the icon, "Tarvu Version" with the program's version, and OK.

#include <windows.h>

namespace tarvu::win32 {

// Runs the box modally over `owner`.
void ShowAboutBox(HINSTANCE instance, HWND owner);

}  // namespace tarvu::win32
