#include "platform/child_process.h"

#include "platform/stop_signal.h"
#include "platform/win32/system_text.h"

#include <chrono>
#include <string>
#include <thread>
#include <windows.h>

namespace tarvu {
namespace {

// One argument quoted for CommandLineToArgvW's rules: backslashes before a quote are doubled.
std::wstring Quote(const std::wstring& word) {
    if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return word;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(2 * backslashes, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

HANDLE OpenOutput(const std::filesystem::path& file) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (process_ != nullptr) {
        if (!status_) {
            ::TerminateProcess(process_, 137);
            ::WaitForSingleObject(process_, INFINITE);
        }
        ::CloseHandle(process_);
    }
}

bool ChildProcess::Start(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::filesystem::path& standardOutput,
                         const std::filesystem::path& standardError) {
    if (process_ != nullptr) {
        return false;
    }
    // Arguments are UTF-8 like all our text; the child gets them as UTF-16.
    std::wstring commandLine = Quote(program.wstring());
    for (const std::string& argument : arguments) {
        commandLine += L" " + Quote(Wide(argument));
    }
    HANDLE out = OpenOutput(standardOutput);
    HANDLE err = OpenOutput(standardError);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
        if (out != INVALID_HANDLE_VALUE) {
            ::CloseHandle(out);
        }
        if (err != INVALID_HANDLE_VALUE) {
            ::CloseHandle(err);
        }
        return false;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info{};
    const BOOL started =
        ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                         CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &info);
    ::CloseHandle(out);
    ::CloseHandle(err);
    if (!started) {
        return false;
    }
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    status_.reset();
    return true;
}

std::optional<int> ChildProcess::Wait(int timeoutMs) {
    if (status_ || process_ == nullptr) {
        return status_;
    }
    if (::WaitForSingleObject(process_, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) !=
        WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    status_ = static_cast<int>(code);
    return status_;
}

void ChildProcess::Interrupt() {
    Terminate();
}

// A closed console window reaches a Windows program as the same stop request.
void ChildProcess::Hangup() {
    Terminate();
}

void ChildProcess::Terminate() {
    if (process_ == nullptr || status_) {
        return;
    }
    // The child may still be starting: its stop event appears once it installed its handling.
    const std::string name = StopEventName(processId_);
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE stop = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
        if (stop != nullptr) {
            ::SetEvent(stop);
            ::CloseHandle(stop);
            return;
        }
        if (::WaitForSingleObject(process_, 10) == WAIT_OBJECT_0) {
            return;  // ended by itself
        }
    }
    ::TerminateProcess(process_, 143);  // a program without stop handling ends as by SIGTERM
}

}  // namespace tarvu
