#include "platform/file_replace.h"

#include <atomic>
#include <string>
#include <windows.h>

namespace tarvu {
namespace {

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (Valid()) {
            ::CloseHandle(h_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }

private:
    HANDLE h_;
};

std::atomic<unsigned> gTemporaryCounter{0};

bool WriteAll(HANDLE file, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

FileReadResult ReadWholeFile(const std::filesystem::path& file) {
    FileReadResult result;
    Handle handle(::CreateFileW(file.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.Valid()) {
        const DWORD error = ::GetLastError();
        result.status = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                            ? FileReadStatus::kMissing
                            : FileReadStatus::kError;
        return result;
    }
    std::string bytes;
    char chunk[8192];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(handle.Get(), chunk, sizeof chunk, &got, nullptr)) {
            result.status = FileReadStatus::kError;
            return result;
        }
        if (got == 0) {
            break;
        }
        bytes.append(chunk, got);
    }
    result.status = FileReadStatus::kOk;
    result.bytes = std::move(bytes);
    return result;
}

bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes) {
    std::error_code ec;
    // A link is followed: its target is what gets replaced.
    std::filesystem::path target = file;
    if (std::filesystem::is_symlink(file, ec)) {
        target = std::filesystem::canonical(file, ec);
        if (ec) {
            return false;
        }
    }
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return false;  // Windows refuses to write a read-only file
    }
    const std::filesystem::path temporary =
        target.parent_path() /
        (L"." + target.filename().wstring() + L".tmp-" + std::to_wstring(::GetCurrentProcessId()) +
         L"-" + std::to_wstring(gTemporaryCounter.fetch_add(1)));
    {
        Handle out(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.Valid()) {
            return false;
        }
        if (!WriteAll(out.Get(), bytes) || !::FlushFileBuffers(out.Get())) {
            ::DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (!::MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace tarvu
