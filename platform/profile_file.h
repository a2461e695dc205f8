#pragma once
// The private-profile functions over a settings file kept in code page 1251: names and
// values are UTF-8 here and converted only at the file (see cp1251.h for characters the code
// page lacks and for malformed UTF-8, both stored as '?'); the layout rules are profile_text.h.
//
// The file is never held open: every call reads it anew. Writes replace the whole file
// atomically (file_replace.h), so a failed write leaves the old file as it was; writes from
// different threads of the process are serialised, so two writers to different sections
// both keep their change.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace tarvu {

// A read returns at most this many characters of a stored value (the rest is cut off), as
// reads through a 260-byte buffer do.
constexpr size_t kProfileValueLimit = 259;

// The value of `key` in `section` of `file`: empty when the file, the section or the key is
// missing or the file cannot be read. Blanks around names are ignored. A NUL byte in the
// stored value ends it.
std::string ReadProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key);

// Sets `key` in `section` of `file` to `value`, creating the file, section and key as needed.
// Blanks around names are ignored; the value is stored as given (so blanks around it, or
// quotes around all of it, are dropped again when it is read). Returns false, changing
// nothing, when the entry cannot be stored faithfully (IsValidProfileEntry: a blank name, a
// line break or NUL, ']' in the section or '=' in the key), when an existing file cannot be
// read, or when the file cannot be replaced (missing or read-only directory, read-only file).
bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value);

}  // namespace tarvu
