#include "platform/installed_program.h"

#include "tarvu_build_info.h"

#include <array>
#include <string_view>
#include <system_error>

namespace tarvu {
namespace {

// The folder itself when it cannot be resolved (it may be gone), so a plain comparison still
// works.
std::filesystem::path Resolved(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(folder, ec);
    return ec ? folder.lexically_normal() : resolved;
}

bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) {
        return true;
    }
    return Resolved(a) == Resolved(b);
}

}  // namespace

bool IsInstalledProgram(const std::filesystem::path& executableDirectory) {
    if (executableDirectory.empty()) {
        return false;
    }
    if (SameFolder(executableDirectory, TARVU_INSTALL_FULL_BINDIR)) {
        return true;
    }
    std::error_code ec;
    if (std::filesystem::is_regular_file(executableDirectory / TARVU_BINDIR_TO_MARKER, ec)) {
        return true;
    }
    constexpr std::array<std::string_view, 3> kSystemProgramFolders = {"/usr/bin", "/usr/local/bin",
                                                                       "/bin"};
    for (const std::string_view folder : kSystemProgramFolders) {
        if (SameFolder(executableDirectory, folder)) {
            return true;
        }
    }
    return false;
}

}  // namespace tarvu
