#pragma once
// The private-profile functions over a settings file kept in code page 1251: names and
// values are UTF-8 here and converted only at the file (see cp1251.h for characters the code
// page lacks and for malformed UTF-8, both stored as '?'); the layout rules are profile_text.h.
//
// The file is never held open: every call reads it anew. Writes are read-modify-write
// cycles under a lock that other threads and other processes respect (file_replace.h), so
// two writers, in one program or in two, both keep their change; a failed write leaves the
// old file as it was. A UTF-8 byte-order mark at the start of the file is skipped when
// reading and kept when rewriting.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace tarvu {

// A read returns at most this many characters of a stored value (the rest is cut off), as
// reads through a 260-byte buffer do.
constexpr size_t kProfileValueLimit = 259;

enum class ProfileStatus {
    kOk,
    kMissing,       // reads only: no file (it reads as all keys empty)
    kNotRegular,    // a named pipe, a device or a directory under the name
    kUnreadable,    // the file exists but cannot be read
    kNotWritable,   // writes only: read-only file, or neither the folder nor the file took it
    kRefusedEntry,  // writes only: the entry could not be read back as written
};

struct ProfileRead {
    ProfileStatus status = ProfileStatus::kMissing;
    std::string value;
};

// The value of `key` in `section` of `file`, with what became of the file: the value is
// empty when the file, the section or the key is missing or the file cannot be read. Blanks
// around names are ignored. A NUL byte in the stored value ends it; at most `limit`
// characters of it are returned.
ProfileRead ReadProfileEntry(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, size_t limit = kProfileValueLimit);

// ReadProfileEntry's value alone.
std::string ReadProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, size_t limit = kProfileValueLimit);

// Sets `key` in `section` of `file` to `value`, creating the file, section and key as needed.
// Blanks around names are ignored; the value is stored as given (so blanks around it, or
// quotes around all of it, are dropped again when it is read). Changes nothing unless the
// result is kOk: kRefusedEntry when the entry cannot be stored faithfully
// (IsValidProfileEntry: a blank name, a line break or NUL, ']' in the section or '=' in the
// key), otherwise the file's trouble.
ProfileStatus WriteProfileEntry(const std::filesystem::path& file, std::string_view section,
                                std::string_view key, std::string_view value);

// WriteProfileEntry, true when written.
bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value);

}  // namespace tarvu
