#include "app/win32/about_box.h"

#include "app/win32/resource_ids.h"
#include "platform/win32/system_text.h"
#include "tarvu_build_info.h"

namespace tarvu::win32 {
namespace {

INT_PTR CALLBACK AboutProc(HWND box, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            ::SetDlgItemTextW(box, IDC_ABOUT_VERSION, Wide("Tarvu Version " TARVU_VERSION).c_str());
            ::SetDlgItemTextW(box, IDC_ABOUT_COPYRIGHT, Wide(TARVU_COPYRIGHT_LINE).c_str());
            ::SetDlgItemTextW(box, IDC_ABOUT_LICENCE, Wide(TARVU_LICENSE_LINE).c_str());
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(box, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void ShowAboutBox(HINSTANCE instance, HWND owner) {
    ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, AboutProc, 0);
}

}  // namespace tarvu::win32
