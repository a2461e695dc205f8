#pragma once
// Drives tarvu.exe from another process, as an engineer at the screen would: starts it, finds
// dialog 102, reads and types into its controls through window messages, answers its message
// boxes, takes pictures of the screen, and ends it. Every message to the dialog has a time-out,
// so a hung tarvu.exe fails the test instead of holding it; a failing test keeps tarvu.exe's
// output and a picture of the screen in TARVU_DIALOG_ARTIFACTS when that names a folder.

#include "platform/cp1251.h"

#include <gtest/gtest.h>

#include <windows.h>
// after the header above, which they build on
#include <array>
#include <chrono>
#include <commctrl.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tarvu::testing {

namespace fs = std::filesystem;

inline constexpr wchar_t kDialogCaption[] = L"Tarvu (Клиент для проверки подключения по GPRS)";
inline constexpr UINT kMessageTimeoutMs = 5000;
// Generous: a fresh Wine prefix and a machine shared with other builds.
inline constexpr int kWindowTimeoutMs = 20000;

inline std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void WriteBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::wstring WideOf(const std::string& utf8) {
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

inline std::string Utf8Of(const std::wstring& wide) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                          nullptr, nullptr);
    return text;
}

// The folder for what a failing test leaves behind, or empty.
inline fs::path ArtifactFolder() {
    const char* folder = std::getenv("TARVU_DIALOG_ARTIFACTS");
    if (folder == nullptr || *folder == '\0') {
        return {};
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    return folder;
}

// `window`'s rectangle on the screen (the whole screen for null) as a 24-bit BMP file.
inline bool SaveScreenPicture(HWND window, const fs::path& file) {
    RECT rect = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (window != nullptr && !::GetWindowRect(window, &rect)) {
        return false;
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::string pixels(static_cast<size_t>(stride) * static_cast<size_t>(height), '\0');
    const int lines = ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                                  reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (lines != height) {
        return false;
    }
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

// A message to a window of tarvu.exe, waited for at most kMessageTimeoutMs.
inline std::optional<LRESULT> Send(HWND window, UINT message, WPARAM wParam = 0,
                                   LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_BLOCK, kMessageTimeoutMs,
                              &result) == 0) {
        return std::nullopt;
    }
    return static_cast<LRESULT>(result);
}

inline std::wstring WindowText(HWND window) {
    const std::optional<LRESULT> length = Send(window, WM_GETTEXTLENGTH);
    if (!length || *length <= 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(*length) + 1, L'\0');
    const std::optional<LRESULT> copied =
        Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied ? static_cast<size_t>(*copied) : 0);
    return text;
}

inline std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

// Polls `condition` every 20 ms until it holds or `timeoutMs` passed.
template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A message box (or other dialog) of tarvu.exe other than its main dialog.
struct Box {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
};

// tarvu.exe run as a child of the test, its output in files of the test's folder.
class DialogProcess {
public:
    DialogProcess() = default;
    ~DialogProcess() {
        // The picture first, while tarvu.exe may still show what went wrong.
        if (::testing::Test::HasFailure()) {
            KeepArtifacts();
        }
        if (process_ != nullptr) {
            if (!ExitCode()) {
                ::TerminateProcess(process_, 137);
                ::WaitForSingleObject(process_, 5000);
            }
            ::CloseHandle(process_);
        }
    }
    DialogProcess(const DialogProcess&) = delete;
    DialogProcess& operator=(const DialogProcess&) = delete;

    // Starts `program` with `arguments`; its standard output and error go to files in
    // `outputFolder`. Returns the moment of the start.
    bool Start(const fs::path& program, const std::vector<std::wstring>& arguments,
               const fs::path& outputFolder) {
        program_ = program;
        arguments_ = arguments;
        outputFolder_ = outputFolder;
        return Launch();
    }

    // Waits for dialog 102 to be shown. The first launch in a fresh Wine prefix has been seen
    // to end without a window: then it is started once more, and the test says so.
    HWND WaitForDialog() {
        HWND dialog = nullptr;
        if (WaitUntil([&] { return (dialog = FindDialog()) != nullptr || ExitCode(); },
                      kWindowTimeoutMs) &&
            dialog != nullptr) {
            return dialog;
        }
        const std::optional<DWORD> code = ExitCode();
        std::printf("tarvu.exe showed no dialog within %d ms (%s); starting it once more\n",
                    kWindowTimeoutMs,
                    code ? ("it ended with " + std::to_string(*code)).c_str() : "it still runs");
        KeepArtifacts("first-launch");
        ::TerminateProcess(process_, 137);
        ::WaitForSingleObject(process_, 5000);
        ::CloseHandle(process_);
        process_ = nullptr;
        if (!Launch()) {
            return nullptr;
        }
        WaitUntil([&] { return (dialog = FindDialog()) != nullptr || ExitCode(); },
                  kWindowTimeoutMs);
        return dialog;
    }

    // The visible dialog 102 of this process once it answers messages, or null.
    HWND FindDialog() const {
        HWND dialog = FindTopLevel(true);
        return dialog != nullptr && Send(dialog, WM_NULL) ? dialog : nullptr;
    }

    // A message box or other dialog of this process besides dialog 102, or nothing.
    std::optional<Box> FindBox() const {
        HWND window = FindTopLevel(false);
        if (window == nullptr) {
            return std::nullopt;
        }
        Box box;
        box.window = window;
        box.caption = WindowText(window);
        box.text = WindowText(::GetDlgItem(window, 0xFFFF));
        return box;
    }

    // Waits for a box and reads it.
    std::optional<Box> WaitForBox(int timeoutMs = kWindowTimeoutMs) const {
        std::optional<Box> box;
        WaitUntil([&] { return (box = FindBox()).has_value(); }, timeoutMs);
        return box;
    }
    // Presses a box's OK button and waits for it to go.
    static bool Dismiss(const Box& box) {
        ::PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return WaitUntil([&] { return !::IsWindow(box.window); }, kMessageTimeoutMs);
    }
    // Waits for a box, reads it and presses its OK button.
    std::optional<Box> AnswerBox(int timeoutMs = kWindowTimeoutMs) const {
        std::optional<Box> box = WaitForBox(timeoutMs);
        if (box) {
            EXPECT_TRUE(Dismiss(*box)) << "the box stayed";
        }
        return box;
    }

    std::optional<DWORD> ExitCode() const {
        DWORD code = 0;
        if (process_ == nullptr || !::GetExitCodeProcess(process_, &code) || code == STILL_ACTIVE) {
            return std::nullopt;
        }
        return code;
    }

    // Waits up to `timeoutMs` for the end; the exit code.
    std::optional<DWORD> Wait(int timeoutMs) {
        if (process_ == nullptr) {
            return std::nullopt;
        }
        ::WaitForSingleObject(process_, static_cast<DWORD>(timeoutMs));
        return ExitCode();
    }

    DWORD Id() const { return processId_; }
    std::chrono::steady_clock::time_point Started() const { return started_; }
    std::string Output() const {
        return ReadBytes(outputFolder_ / "tarvu.out") + ReadBytes(outputFolder_ / "tarvu.err");
    }

    // tarvu.exe's output and a picture of the screen, kept for a failed test.
    void KeepArtifacts(const std::string& suffix = "failed") const {
        const fs::path folder = ArtifactFolder();
        if (folder.empty()) {
            return;
        }
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string(test != nullptr ? test->test_suite_name() : "test") +
                                 "." + (test != nullptr ? test->name() : "run") + "-" + suffix;
        WriteBytes(folder / (name + ".out.txt"), Output());
        SaveScreenPicture(nullptr, folder / (name + ".bmp"));
    }

private:
    bool Launch() {
        std::wstring commandLine = L"\"" + program_.wstring() + L"\"";
        for (const std::wstring& argument : arguments_) {
            commandLine += L" \"" + argument + L"\"";
        }
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE out = ::CreateFileW((outputFolder_ / "tarvu.out").c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE err = ::CreateFileW((outputFolder_ / "tarvu.err").c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION info = {};
        started_ = std::chrono::steady_clock::now();
        const BOOL created =
            ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             program_.parent_path().c_str(), &startup, &info);
        ::CloseHandle(out);
        ::CloseHandle(err);
        if (!created) {
            ADD_FAILURE() << "cannot start " << program_.string() << ": " << ::GetLastError();
            return false;
        }
        ::CloseHandle(info.hThread);
        process_ = info.hProcess;
        processId_ = info.dwProcessId;
        return true;
    }

    HWND FindTopLevel(bool mainDialog) const {
        struct Search {
            DWORD process;
            bool mainDialog;
            HWND found;
        } search{processId_, mainDialog, nullptr};
        ::EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                DWORD owner = 0;
                ::GetWindowThreadProcessId(window, &owner);
                if (owner != s->process || !::IsWindowVisible(window) ||
                    ClassOf(window) != L"#32770") {
                    return TRUE;
                }
                wchar_t caption[128] = {};
                ::GetWindowTextW(window, caption, 128);
                if ((std::wstring(caption) == kDialogCaption) == s->mainDialog) {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    fs::path program_;
    std::vector<std::wstring> arguments_;
    fs::path outputFolder_;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    std::chrono::steady_clock::time_point started_;
};

// The controls of a running dialog 102, reached from the test's process.
class DialogWindow {
public:
    explicit DialogWindow(HWND dialog) : dialog_(dialog) {}

    HWND Handle() const { return dialog_; }
    HWND Item(int id) const { return ::GetDlgItem(dialog_, id); }
    std::wstring Text(int id) const { return WindowText(Item(id)); }

    // Types `text` into control `id` key by key, after selecting what it held (the field's
    // change notification runs for every key, as when an engineer types).
    bool Type(int id, const std::wstring& text) const {
        HWND control = Item(id);
        // The first key replaces the selection; an empty text is a Backspace over it.
        if (!Send(control, EM_SETSEL, 0, -1) ||
            (text.empty() && !Send(control, WM_CHAR, VK_BACK, 0x000E0001))) {
            return false;
        }
        for (const wchar_t c : text) {
            if (!Send(control, WM_CHAR, c, 1)) {
                return false;
            }
        }
        return true;
    }
    bool Click(int id) const { return Send(Item(id), BM_CLICK).has_value(); }
    bool SetAddress(uint8_t a, uint8_t b, uint8_t c, uint8_t d) const {
        return Send(Item(2045), IPM_SETADDRESS, 0, MAKEIPADDRESS(a, b, c, d)).has_value();
    }
    // IPM_GETADDRESS writes through a pointer, which must point into tarvu.exe's memory.
    std::optional<std::array<uint8_t, 4>> Address(DWORD processId) const {
        HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                                       FALSE, processId);
        if (process == nullptr) {
            return std::nullopt;
        }
        std::optional<std::array<uint8_t, 4>> octets;
        void* remote = ::VirtualAllocEx(process, nullptr, sizeof(DWORD), MEM_COMMIT | MEM_RESERVE,
                                        PAGE_READWRITE);
        DWORD address = 0;
        if (remote != nullptr &&
            Send(Item(2045), IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(remote)) &&
            ::ReadProcessMemory(process, remote, &address, sizeof address, nullptr)) {
            octets = std::array<uint8_t, 4>{static_cast<uint8_t>(FIRST_IPADDRESS(address)),
                                            static_cast<uint8_t>(SECOND_IPADDRESS(address)),
                                            static_cast<uint8_t>(THIRD_IPADDRESS(address)),
                                            static_cast<uint8_t>(FOURTH_IPADDRESS(address))};
        }
        if (remote != nullptr) {
            ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
        }
        ::CloseHandle(process);
        return octets;
    }
    // A key pressed while `id` has the focus, through tarvu.exe's own message loop.
    void PressKey(int id, UINT key) const {
        HWND control = Item(id);
        ::PostMessageW(control, WM_KEYDOWN, key, 0x00000001);
        ::PostMessageW(control, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
    }
    // The trace field's lines.
    std::vector<std::wstring> TraceLines() const {
        std::vector<std::wstring> lines;
        std::wistringstream in(Text(1042));
        for (std::wstring line; std::getline(in, line);) {
            if (!line.empty() && line.back() == L'\r') {
                line.pop_back();
            }
            if (!line.empty()) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    // Whether a trace line is `expected` after its 13-character time stamp.
    bool TraceHas(const std::wstring& expected) const {
        for (const std::wstring& line : TraceLines()) {
            if (line.size() > 13 && line.substr(13) == expected) {
                return true;
            }
        }
        return false;
    }

private:
    HWND dialog_;
};

// "127.000.000.001:01234" as the trace prints a loopback peer.
inline std::wstring WideLoopbackPeer(uint16_t port) {
    wchar_t text[32];
    std::swprintf(text, 32, L"127.000.000.001:%.5u", static_cast<unsigned>(port));
    return text;
}

// The settings file a session should leave: the expected bytes (code page 1251, CRLF) with
// the ports of this run in place of @READ_PORT@ and @SEND_PORT@.
inline std::string ExpectedSettings(const std::string& name, uint16_t readPort, uint16_t sendPort) {
    std::string bytes = ReadBytes(fs::path(TARVU_TEST_DATA_DIR) / name);
    for (const auto& [mark, port] : {std::pair<std::string, uint16_t>{"@READ_PORT@", readPort},
                                     std::pair<std::string, uint16_t>{"@SEND_PORT@", sendPort}}) {
        for (size_t at = bytes.find(mark); at != std::string::npos; at = bytes.find(mark)) {
            bytes.replace(at, mark.size(), std::to_string(port));
        }
    }
    return bytes;
}

}  // namespace tarvu::testing
