#pragma once
// The layout of a private-profile (INI) file, on the file's own bytes (code page 1251):
//
//   [Section]        a line whose first non-blank character is '[' opens a section; its name
//                    runs to the first ']' (or the line's end), blanks around it ignored
//   key = value      any other non-blank line in a section; the key runs to the first '=',
//                    the value after it; blanks around both are ignored, and a value wholly
//                    inside matching double or single quotes is taken without them; a line
//                    without '=' is a key with an empty value
//   ; comment        a line whose first non-blank character is ';' belongs to no key
//
// Names match without regard to letter case (Latin and Cyrillic, see cp1251.h). The first
// section with a name and, within it, the first key with a name is the one read and written.
// Lines end in "\n" or "\r\n"; lines added to a file use the style of its first line end,
// "\r\n" in a file that has none yet.

#include <optional>
#include <string>
#include <string_view>

namespace tarvu {

// The value of `key` in `section`, without surrounding blanks and quotes; nullopt when the
// section or key is absent.
std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key);

// Sets `key` in `section` to `value`. An existing key keeps its line with everything but the
// old value (its name as spelt, blanks around '=' and after the value, the line end); every
// other byte of the text is kept. A new key goes right after the last key line of its section
// (comments and blank lines that follow stay after it); a new section goes at the end of the
// text. The caller passes names and a value that IsValidProfileEntry accepts.
void SetProfileValue(std::string& text, std::string_view section, std::string_view key,
                     std::string_view value);

// Whether the three texts can be stored so that they read back as written: names must not be
// blank or start or end with blanks, and must not hold the characters that end them (']' in a
// section name; '=' in a key, which also must not begin with '[' or ';'); no text may hold a
// line break or a NUL byte.
bool IsValidProfileEntry(std::string_view section, std::string_view key, std::string_view value);

}  // namespace tarvu
