#include "platform/profile_file.h"

#include "platform/cp1251.h"
#include "platform/file_replace.h"
#include "platform/profile_text.h"

namespace tarvu {
namespace {

// Some editors put it before the first section; the text after it is the profile.
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

size_t ByteOrderMarkLength(std::string_view bytes) {
    return bytes.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark
               ? kUtf8ByteOrderMark.size()
               : 0;
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

ProfileRead ReadProfileEntry(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, size_t limit) {
    ProfileRead result;
    const FileReadResult contents = ReadWholeFile(file);
    switch (contents.status) {
        case FileReadStatus::kOk:
            result.status = ProfileStatus::kOk;
            break;
        case FileReadStatus::kMissing:
            result.status = ProfileStatus::kMissing;
            return result;
        case FileReadStatus::kNotRegular:
            result.status = ProfileStatus::kNotRegular;
            return result;
        case FileReadStatus::kError:
            result.status = ProfileStatus::kUnreadable;
            return result;
    }
    const std::string_view text =
        std::string_view(contents.bytes).substr(ByteOrderMarkLength(contents.bytes));
    const auto value = FindProfileValue(text, NameToCp1251(section), NameToCp1251(key));
    if (value) {
        std::string_view stored = *value;
        stored = stored.substr(0, stored.find('\0'));
        result.value = Cp1251ToUtf8(stored.substr(0, limit));
    }
    return result;
}

std::string ReadProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, size_t limit) {
    return ReadProfileEntry(file, section, key, limit).value;
}

ProfileStatus WriteProfileEntry(const std::filesystem::path& file, std::string_view section,
                                std::string_view key, std::string_view value) {
    const std::string section1251 = NameToCp1251(section);
    const std::string key1251 = NameToCp1251(key);
    const std::string value1251 = Utf8ToCp1251(value);
    if (!IsValidProfileEntry(section1251, key1251, value1251)) {
        return ProfileStatus::kRefusedEntry;
    }
    const FileUpdateStatus status = UpdateFileContents(file, [&](std::string& bytes) {
        const size_t mark = ByteOrderMarkLength(bytes);
        std::string text = bytes.substr(mark);
        SetProfileValue(text, section1251, key1251, value1251);
        bytes.replace(mark, std::string::npos, text);
        return true;
    });
    switch (status) {
        case FileUpdateStatus::kWritten:
            return ProfileStatus::kOk;
        case FileUpdateStatus::kNotRegular:
            return ProfileStatus::kNotRegular;
        case FileUpdateStatus::kUnreadable:
            return ProfileStatus::kUnreadable;
        case FileUpdateStatus::kDeclined:
        case FileUpdateStatus::kNotWritable:
            break;
    }
    return ProfileStatus::kNotWritable;
}

bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value) {
    return WriteProfileEntry(file, section, key, value) == ProfileStatus::kOk;
}

}  // namespace tarvu
