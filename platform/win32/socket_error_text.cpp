#include "platform/win32/socket_error_text.h"

#include <windows.h>

namespace tarvu {

std::string SocketErrorText(int code) {
    char buffer[512] = {};
    const DWORD n =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(code), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                         buffer, sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.' ||
                             text.back() == ' ')) {
        text.pop_back();
    }
    // System texts come in the ANSI code page; only plain ASCII ones are kept in UTF-8 output.
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            text.clear();
            break;
        }
    }
    if (text.empty()) {
        text = "socket error";
    }
    return text + " (" + std::to_string(code) + ")";
}

}  // namespace tarvu
