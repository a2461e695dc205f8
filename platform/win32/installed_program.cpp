#include "platform/installed_program.h"

#include "tarvu_build_info.h"

#include <cwctype>
#include <string>
#include <system_error>
#include <windows.h>

namespace tarvu {
namespace {

std::wstring Folded(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::weakly_canonical(path, ec);
    if (ec) {
        full = path.lexically_normal();
    }
    std::wstring text = full.wstring();
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) {
        text.pop_back();
    }
    return text;
}

// True when `folder` is `root` or lies below it (names compared without case, as Windows does).
bool Within(const std::wstring& folder, const std::wstring& root) {
    if (root.empty() || folder.size() < root.size() || folder.compare(0, root.size(), root) != 0) {
        return false;
    }
    return folder.size() == root.size() || folder[root.size()] == L'\\' ||
           folder[root.size()] == L'/';
}

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = ::GetEnvironmentVariableW(name, buffer, MAX_PATH + 1);
    return n == 0 || n > MAX_PATH ? std::wstring() : std::wstring(buffer, n);
}

}  // namespace

// Windows installers put programs below the "Program Files" folders, where a user may not
// write; a copy unpacked anywhere else is portable and keeps its settings beside it, unless
// an installation laid down the marker file next to it.
bool IsInstalledProgram(const std::filesystem::path& executableDirectory) {
    if (executableDirectory.empty()) {
        return false;
    }
    std::error_code ec;
    if (std::filesystem::is_regular_file(executableDirectory / TARVU_BINDIR_TO_MARKER, ec)) {
        return true;
    }
    const std::wstring folder = Folded(executableDirectory);
    for (const wchar_t* variable : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
        const std::wstring root = Environment(variable);
        if (!root.empty() && Within(folder, Folded(root))) {
            return true;
        }
    }
    return false;
}

}  // namespace tarvu
