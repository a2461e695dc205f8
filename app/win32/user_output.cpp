#include "app/win32/user_output.h"

#include "platform/win32/system_text.h"

#include <windows.h>
// after the header above, which it builds on
#include <shellapi.h>

namespace tarvu::win32 {
namespace {

bool WriteAll(HANDLE handle, const std::string& text) {
    DWORD written = 0;
    size_t done = 0;
    while (done < text.size()) {
        if (!::WriteFile(handle, text.data() + done, static_cast<DWORD>(text.size() - done),
                         &written, nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

void WriteToUser(const std::string& text, bool error) {
    HANDLE handle = ::GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
        ::GetFileType(handle) != FILE_TYPE_UNKNOWN && WriteAll(handle, text)) {
        return;
    }
    // Started from a console: write there. A window program has none of its own.
    if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
        if (console != INVALID_HANDLE_VALUE) {
            const std::wstring wide = Wide(text);
            DWORD written = 0;
            const bool done = ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()),
                                              &written, nullptr) != FALSE;
            ::CloseHandle(console);
            ::FreeConsole();
            if (done) {
                return;
            }
        } else {
            ::FreeConsole();
        }
    }
    ::MessageBoxW(nullptr, Wide(text).c_str(), L"tarvu",
                  MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

std::vector<std::string> CommandLineArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return arguments;
    }
    for (int i = 0; i < count; ++i) {
        arguments.push_back(Utf8(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

}  // namespace tarvu::win32
