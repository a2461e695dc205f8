#include "platform/created_file.h"

#include "platform/win32/system_text.h"

#include <algorithm>
#include <windows.h>

namespace tarvu {
namespace {

HANDLE AsHandle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::string Reason(const std::string& path, DWORD code) {
    return path + ": " + SystemErrorText(code, "system error");
}

}  // namespace

CreatedFile::~CreatedFile() {
    Close();
}

bool CreatedFile::Create(const std::string& path, std::string& error) {
    Close();
    const std::wstring name = Wide(path);
    // A device name (NUL, CON, COM1) or a folder is refused before it is opened; a named pipe
    // that still opens is told by its type below.
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        error = path + ": not a regular file";
        return false;
    }
    // Opened, not created afresh, so that nothing is emptied before its type is known. Others
    // may read it while it is written (Wireshark follows a capture as it grows).
    const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Reason(path, ::GetLastError());
        return false;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        error = path + ": not a regular file";
        return false;
    }
    if (!::SetEndOfFile(file)) {
        const DWORD code = ::GetLastError();
        ::CloseHandle(file);
        error = Reason(path, code);
        return false;
    }
    handle_ = reinterpret_cast<NativeHandle>(file);
    path_ = path;
    return true;
}

bool CreatedFile::Write(std::string_view bytes, std::string& error) {
    if (!IsOpen()) {
        error = path_ + ": not open";
        return false;
    }
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(AsHandle(handle_), bytes.data(), chunk, &written, nullptr)) {
            error = Reason(path_, ::GetLastError());
            return false;
        }
        if (written == 0) {
            error = Reason(path_, ERROR_DISK_FULL);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool CreatedFile::Truncate(uint64_t size, std::string& error) {
    if (!IsOpen()) {
        error = path_ + ": not open";
        return false;
    }
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(AsHandle(handle_), position, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(AsHandle(handle_))) {
        error = Reason(path_, ::GetLastError());
        return false;
    }
    return true;
}

void CreatedFile::Close() {
    if (IsOpen()) {
        ::CloseHandle(AsHandle(handle_));
        handle_ = kInvalidNativeHandle;
    }
}

}  // namespace tarvu
