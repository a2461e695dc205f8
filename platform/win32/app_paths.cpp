#include "platform/app_paths.h"

#include <cstdlib>
#include <string>
#include <vector>
#include <windows.h>

namespace tarvu {

std::filesystem::path ExecutableDirectory() {
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) {
            return {};
        }
        if (n < name.size()) {
            return std::filesystem::path(std::wstring(name.data(), n)).parent_path();
        }
        name.resize(name.size() * 2);  // cut: try a longer buffer
    }
}

bool IsDirectoryWritable(const std::filesystem::path& directory) {
    std::error_code ec;
    if (directory.empty() || !std::filesystem::is_directory(directory, ec)) {
        return false;
    }
    // Access rights on Windows are lists, not bits: creating a file is the only sure answer.
    const std::filesystem::path probe =
        directory / (L".tarvu-probe-" + std::to_wstring(::GetCurrentProcessId()));
    HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(file);
    return true;
}

bool IsFileWritable(const std::filesystem::path& file) {
    // Attributes first: a directory, a device or a read-only file is never opened.
    const DWORD attributes =
        file.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return false;
    }
    // Opening for writing changes nothing and asks the access lists; a named pipe or a
    // console under the name is refused by its type.
    HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool regular = ::GetFileType(handle) == FILE_TYPE_DISK;
    ::CloseHandle(handle);
    return regular;
}

std::filesystem::path WiresharkUserPluginFolder() {
    // Wireshark keeps a user's plugins under the roaming application-data folder too.
    const std::filesystem::path appData = UserConfigHome();
    return appData.empty() ? appData : appData / L"Wireshark" / L"plugins";
}

std::filesystem::path UserConfigHome() {
    // The roaming application-data folder is where Windows programs keep a user's settings.
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    if (appData != nullptr && appData[0] != L'\0') {
        return appData;
    }
    const wchar_t* profile = ::_wgetenv(L"USERPROFILE");
    if (profile != nullptr && profile[0] != L'\0') {
        return std::filesystem::path(profile) / L"AppData" / L"Roaming";
    }
    return {};
}

}  // namespace tarvu
