#include "platform/profile_file.h"

#include "platform/cp1251.h"
#include "platform/file_replace.h"
#include "platform/profile_text.h"

#include <mutex>

namespace tarvu {
namespace {

// Serialises read-modify-write cycles: without it two threads writing different sections
// could each rewrite the file from the same old contents and one change would be lost.
std::mutex& WriteMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string NameToCp1251(std::string_view utf8) {
    constexpr std::string_view kBlanks = " \t\r\v\f";
    const size_t first = utf8.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = utf8.find_last_not_of(kBlanks);
    return Utf8ToCp1251(utf8.substr(first, last - first + 1));
}

}  // namespace

std::string ReadProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key) {
    const FileReadResult contents = ReadWholeFile(file);
    if (contents.status != FileReadStatus::kOk) {
        return {};
    }
    const auto value = FindProfileValue(contents.bytes, NameToCp1251(section), NameToCp1251(key));
    if (!value) {
        return {};
    }
    std::string_view stored = *value;
    stored = stored.substr(0, stored.find('\0'));
    return Cp1251ToUtf8(stored.substr(0, kProfileValueLimit));
}

bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value) {
    const std::string section1251 = NameToCp1251(section);
    const std::string key1251 = NameToCp1251(key);
    const std::string value1251 = Utf8ToCp1251(value);
    if (!IsValidProfileEntry(section1251, key1251, value1251)) {
        return false;
    }
    const std::lock_guard<std::mutex> lock(WriteMutex());
    FileReadResult contents = ReadWholeFile(file);
    if (contents.status == FileReadStatus::kError) {
        return false;
    }
    SetProfileValue(contents.bytes, section1251, key1251, value1251);
    return ReplaceFileContents(file, contents.bytes);
}

}  // namespace tarvu
