#include "app/win32/message_boxes.h"

#include "app/win32/main_dialog.h"
#include "platform/message_box.h"
#include "platform/win32/system_text.h"

#include <windows.h>

namespace tarvu::win32 {
namespace {

void ShowBox(const MainDialog& dialog, const std::wstring& caption, const std::wstring& text) {
    // A box over the hidden window (in the notification area, or before it is first shown)
    // stands on its own.
    HWND owner = dialog.Handle();
    if (owner != nullptr && !::IsWindowVisible(owner)) {
        owner = nullptr;
    }
    ::MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_SETFOREGROUND);
}

}  // namespace

void InstallMessageBoxHandler(MainDialog& dialog) {
    const DWORD thread = ::GetCurrentThreadId();
    SetMessageBoxHandler([&dialog, thread](const std::string& caption, const std::string& text) {
        std::wstring wideCaption = Wide(caption);
        std::wstring wideText = Wide(text);
        if (::GetCurrentThreadId() == thread) {
            ShowBox(dialog, wideCaption, wideText);
            return;
        }
        dialog.Post([&dialog, wideCaption = std::move(wideCaption),
                     wideText = std::move(wideText)] { ShowBox(dialog, wideCaption, wideText); });
    });
}

}  // namespace tarvu::win32
