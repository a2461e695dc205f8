#include "record/folder_path.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace tarvu {

bool IsFolderPath(const std::string& path, std::string& error) {
    std::error_code ignored;
    if (!std::filesystem::is_directory(
            std::u8string_view(reinterpret_cast<const char8_t*>(path.data()), path.size()),
            ignored)) {
        return false;
    }
    error = path + ": " + std::strerror(EISDIR);
    return true;
}

bool IsStandardStreamName(const std::string& path, std::string& error) {
    if (path != "-") {
        return false;
    }
    error = "-: standard output is not written to; name a file (./- for a file called -)";
    return true;
}

}  // namespace tarvu
