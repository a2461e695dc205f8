#include "platform/append_file.h"

#include "platform/win32/system_text.h"

#include <algorithm>
#include <cstdint>
#include <windows.h>

namespace tarvu {
namespace {

HANDLE AsHandle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::string Reason(const std::string& path, DWORD code) {
    return path + ": " + SystemErrorText(code, "system error");
}

bool WriteWhole(HANDLE file, const std::string& path, std::string_view text, std::string& error) {
    while (!text.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, text.data(), chunk, &written, nullptr)) {
            error = Reason(path, ::GetLastError());
            return false;
        }
        if (written == 0) {
            error = Reason(path, ERROR_DISK_FULL);
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

}  // namespace

AppendFile::~AppendFile() {
    Close();
}

bool AppendFile::Open(const std::string& path, std::string& error) {
    Close();
    // Append access: every WriteFile lands at the end of the file. Read access only for the
    // byte-range lock that Write takes.
    const HANDLE file = ::CreateFileW(
        Wide(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Reason(path, ::GetLastError());
        return false;
    }
    const DWORD type = ::GetFileType(file);
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_CHAR) {
        // A pipe would stall the writer.
        ::CloseHandle(file);
        error = path + ": not a regular file";
        return false;
    }
    openedAtLineStart_ = true;
    LARGE_INTEGER size{};
    if (type == FILE_TYPE_DISK && ::GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        OVERLAPPED at{};
        const uint64_t offset = static_cast<uint64_t>(size.QuadPart) - 1;
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        char last = '\n';
        DWORD got = 0;
        openedAtLineStart_ = !::ReadFile(file, &last, 1, &got, &at) || got != 1 || last == '\n';
    }
    handle_ = reinterpret_cast<NativeHandle>(file);
    path_ = path;
    return true;
}

bool AppendFile::Write(std::string_view text, std::string& error) {
    if (!IsOpen()) {
        error = path_ + ": not open";
        return false;
    }
    // Writers in other processes (or on other handles) take turns through an exclusive lock on
    // one byte far beyond any end of file: not every implementation of append access finds the
    // end and writes there in one step (Wine does not), and two writers would then overwrite
    // each other's lines. Where the file system has no locks, the write goes ahead without.
    OVERLAPPED turn{};
    turn.Offset = 0xFFFFFFFE;
    turn.OffsetHigh = 0x7FFFFFFF;
    const bool locked =
        ::LockFileEx(AsHandle(handle_), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != FALSE;
    const bool written = WriteWhole(AsHandle(handle_), path_, text, error);
    if (locked) {
        ::UnlockFileEx(AsHandle(handle_), 0, 1, 0, &turn);
    }
    return written;
}

void AppendFile::Close() {
    if (IsOpen()) {
        ::CloseHandle(AsHandle(handle_));
        handle_ = kInvalidNativeHandle;
    }
}

}  // namespace tarvu
