#pragma once
// "Показатели сеанса": the session figures in a window of its own, with no owner, so that it
// never covers the dialog's controls. Closing it hides nothing else; it is made anew when it
// is asked for again.

#include <string>
#include <windows.h>

namespace tarvu::win32 {

class FiguresWindow {
public:
    explicit FiguresWindow(HINSTANCE instance) : instance_(instance) {}
    ~FiguresWindow();
    FiguresWindow(const FiguresWindow&) = delete;
    FiguresWindow& operator=(const FiguresWindow&) = delete;

    // Shows the window with `text` (lines ending in "\r\n") and brings it to the front.
    void Show(const std::wstring& text);
    // Changes the text of a window that is open.
    void Update(const std::wstring& text);
    bool Open() const { return window_ != nullptr; }
    HWND Handle() const { return window_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool Create();

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND text_ = nullptr;
    HFONT font_ = nullptr;
    std::wstring shown_;
};

}  // namespace tarvu::win32
