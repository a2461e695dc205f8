#include "app/win32/figures_window.h"

#include "app/win32/resource_ids.h"

namespace tarvu::win32 {
namespace {

constexpr wchar_t kClassName[] = L"TarvuFiguresWindow";
constexpr int kWidth = 440;
constexpr int kHeight = 200;

}  // namespace

FiguresWindow::~FiguresWindow() {
    if (window_ != nullptr) {
        ::DestroyWindow(window_);
    }
    if (font_ != nullptr) {
        ::DeleteObject(font_);
    }
}

bool FiguresWindow::Create() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance_;
        windowClass.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(IDR_MAINFRAME));
        windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        registered = ::RegisterClassExW(&windowClass) != 0;
        if (!registered) {
            return false;
        }
    }
    window_ =
        ::CreateWindowExW(0, kClassName, L"Показатели сеанса", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                          CW_USEDEFAULT, kWidth, kHeight, nullptr, nullptr, instance_, this);
    if (window_ == nullptr) {
        return false;
    }
    RECT client;
    ::GetClientRect(window_, &client);
    text_ = ::CreateWindowExW(
        0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL, 8, 8,
        client.right - 16, client.bottom - 16, window_, nullptr, instance_, nullptr);
    if (font_ == nullptr) {
        LOGFONTW logFont = {};
        logFont.lfHeight = -12;
        logFont.lfCharSet = RUSSIAN_CHARSET;
        logFont.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        lstrcpynW(logFont.lfFaceName, L"Courier New", LF_FACESIZE);
        font_ = ::CreateFontIndirectW(&logFont);
    }
    if (text_ != nullptr && font_ != nullptr) {
        ::SendMessageW(text_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
    shown_.clear();
    return true;
}

void FiguresWindow::Show(const std::wstring& text) {
    if (window_ == nullptr && !Create()) {
        return;
    }
    Update(text);
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::SetForegroundWindow(window_);
}

void FiguresWindow::Update(const std::wstring& text) {
    if (window_ == nullptr || text == shown_) {
        return;
    }
    shown_ = text;
    if (text_ != nullptr) {
        ::SetWindowTextW(text_, text.c_str());
    }
}

LRESULT CALLBACK FiguresWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<FiguresWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_SIZE:
            if (self != nullptr && self->text_ != nullptr) {
                ::MoveWindow(self->text_, 8, 8, LOWORD(lParam) - 16, HIWORD(lParam) - 16, TRUE);
            }
            return 0;
        case WM_CTLCOLORSTATIC:
            // The read-only text on the window's own background.
            ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
        case WM_NCDESTROY:
            if (self != nullptr) {
                self->window_ = nullptr;
                self->text_ = nullptr;
            }
            break;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tarvu::win32
