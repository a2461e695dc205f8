#include "platform/file_replace.h"

#include <algorithm>
#include <atomic>
#include <cwctype>
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

// How long a reader or writer waits for another one; a holder keeps the lock for one read or
// one rewrite of a small file.
constexpr DWORD kLockPatienceMs = 5000;

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

// The lock every process takes around a read or an update of one file: a named mutex whose
// name comes from the file's full path (case folded, as Windows names are). The system
// releases it when its holder dies, so a killed writer never blocks the others. A file
// renamed over the target keeps the lock valid, which a lock on the file's own bytes would
// not. Readers take it too, so they never see half of an in-place rewrite.
class PathLock {
public:
    explicit PathLock(const std::filesystem::path& file) {
        std::error_code ec;
        std::wstring key = std::filesystem::absolute(file, ec).lexically_normal().wstring();
        if (ec) {
            key = file.wstring();
        }
        uint64_t hash = 1469598103934665603ull;  // FNV-1a
        for (const wchar_t c : key) {
            hash = (hash ^ static_cast<uint64_t>(std::towlower(static_cast<wint_t>(c)))) *
                   1099511628211ull;
        }
        wchar_t name[64];
        swprintf(name, 64, L"Local\\tarvu-file-%016llx", static_cast<unsigned long long>(hash));
        mutex_ = ::CreateMutexW(nullptr, FALSE, name);
        if (mutex_ != nullptr) {
            const DWORD waited = ::WaitForSingleObject(mutex_, kLockPatienceMs);
            held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        }
    }
    ~PathLock() {
        if (held_) {
            ::ReleaseMutex(mutex_);
        }
        if (mutex_ != nullptr) {
            ::CloseHandle(mutex_);
        }
    }
    PathLock(const PathLock&) = delete;
    PathLock& operator=(const PathLock&) = delete;

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

enum class Kind { kMissing, kRegular, kNotRegular, kError };

// Looks at the name without opening it: a directory or a device is never opened, and a named
// pipe or console that still opens is told by its type afterwards.
Kind KindOf(const std::filesystem::path& file) {
    const DWORD attributes = ::GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Kind::kMissing
                                                                              : Kind::kError;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return Kind::kNotRegular;
    }
    return Kind::kRegular;
}

// Reads all of an opened file; false on a read error or when it is no disk file.
bool ReadAll(HANDLE handle, std::string& bytes, bool& notRegular) {
    notRegular = ::GetFileType(handle) != FILE_TYPE_DISK;
    if (notRegular) {
        return false;
    }
    char chunk[8192];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(handle, chunk, sizeof chunk, &got, nullptr)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        bytes.append(chunk, got);
    }
}

std::wstring TemporaryPrefix(const std::filesystem::path& target) {
    return L"." + target.filename().wstring() + L".tmp-";
}

// A process killed between creating its temporary file and renaming it leaves the file
// behind: ".NAME.tmp-PID-N". Removes those whose process is gone (or is this one, since the
// lock is held).
void RemoveStaleTemporaries(const std::filesystem::path& target) {
    const std::filesystem::path folder =
        target.parent_path().empty() ? std::filesystem::path(L".") : target.parent_path();
    const std::wstring prefix = TemporaryPrefix(target);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::wstring name = entry.path().filename().wstring();
        if (name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const std::wstring rest = name.substr(prefix.size());
        const size_t dash = rest.find(L'-');
        const auto digits = [](const std::wstring& text) {
            return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
        };
        if (dash == std::wstring::npos || dash > 9 || !digits(rest.substr(0, dash)) ||
            !digits(rest.substr(dash + 1))) {
            continue;
        }
        const DWORD owner = static_cast<DWORD>(std::stoul(rest.substr(0, dash)));
        bool gone = owner == ::GetCurrentProcessId();
        if (!gone) {
            HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, owner);
            gone = process == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER;
            if (process != nullptr) {
                gone = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
                ::CloseHandle(process);
            }
        }
        if (gone) {
            ::DeleteFileW(entry.path().c_str());
        }
    }
}

// The crash-safe way: a new file beside the target, renamed over it.
bool WriteByRenaming(const std::filesystem::path& target, std::string_view bytes) {
    const std::filesystem::path temporary =
        target.parent_path() / (TemporaryPrefix(target) + std::to_wstring(::GetCurrentProcessId()) +
                                L"-" + std::to_wstring(gTemporaryCounter.fetch_add(1)));
    bool written = false;
    {
        Handle out(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.Valid()) {
            return false;
        }
        written = WriteAll(out.Get(), bytes) && ::FlushFileBuffers(out.Get());
    }
    if (!written || !::MoveFileExW(temporary.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

// When the folder refuses a new file but the file itself may be written: rewritten whole,
// in place, under the lock.
bool WriteInPlace(const std::filesystem::path& target, std::string_view bytes) {
    Handle out(::CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.Valid() || ::GetFileType(out.Get()) != FILE_TYPE_DISK) {
        return false;
    }
    return WriteAll(out.Get(), bytes) && ::SetEndOfFile(out.Get()) && ::FlushFileBuffers(out.Get());
}

}  // namespace

FileReadResult ReadWholeFile(const std::filesystem::path& file) {
    FileReadResult result;
    switch (KindOf(file)) {
        case Kind::kMissing:
            result.status = FileReadStatus::kMissing;
            return result;
        case Kind::kNotRegular:
            result.status = FileReadStatus::kNotRegular;
            return result;
        case Kind::kError:
            result.status = FileReadStatus::kError;
            return result;
        case Kind::kRegular:
            break;
    }
    const PathLock lock(file);
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
    bool notRegular = false;
    if (!ReadAll(handle.Get(), result.bytes, notRegular)) {
        result.bytes.clear();
        result.status = notRegular ? FileReadStatus::kNotRegular : FileReadStatus::kError;
        return result;
    }
    result.status = FileReadStatus::kOk;
    return result;
}

FileUpdateStatus UpdateFileContents(const std::filesystem::path& file, const FileChange& change) {
    std::error_code ec;
    // A link is followed: its target is what gets changed.
    std::filesystem::path target = file;
    if (std::filesystem::is_symlink(file, ec)) {
        target = std::filesystem::canonical(file, ec);
        if (ec) {
            return FileUpdateStatus::kNotWritable;
        }
    }
    const PathLock lock(target);
    std::string bytes;
    bool exists = false;
    switch (KindOf(target)) {
        case Kind::kMissing:
            break;
        case Kind::kNotRegular:
            return FileUpdateStatus::kNotRegular;
        case Kind::kError:
            return FileUpdateStatus::kUnreadable;
        case Kind::kRegular: {
            exists = true;
            const DWORD attributes = ::GetFileAttributesW(target.c_str());
            if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
                return FileUpdateStatus::kNotWritable;  // Windows refuses to write it
            }
            Handle in(::CreateFileW(target.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            bool notRegular = false;
            if (!in.Valid() || !ReadAll(in.Get(), bytes, notRegular)) {
                return notRegular ? FileUpdateStatus::kNotRegular : FileUpdateStatus::kUnreadable;
            }
            break;
        }
    }
    if (!change(bytes)) {
        return FileUpdateStatus::kDeclined;
    }
    RemoveStaleTemporaries(target);
    if (WriteByRenaming(target, bytes)) {
        return FileUpdateStatus::kWritten;
    }
    if (exists && WriteInPlace(target, bytes)) {
        return FileUpdateStatus::kWritten;
    }
    return FileUpdateStatus::kNotWritable;
}

}  // namespace tarvu
