#pragma once
// Conversion between UTF-8 (everything inside the program) and the Cyrillic Windows code
// page 1251 (the settings file on disk), and the code page's letter case.
//
// Decoding is total: every byte has a character. Byte 0x98, which the code page leaves
// unassigned, decodes to U+0098 and encodes back to 0x98, so a file read and written again
// keeps its bytes. Encoding replaces each character the code page lacks, and each byte of
// malformed UTF-8 (stray continuation bytes, overlong forms, surrogates, truncated
// sequences), with '?'.

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvu {

// The character that stands for what the code page cannot hold.
constexpr char kCp1251Replacement = '?';

std::string Utf8ToCp1251(std::string_view utf8);
std::string Cp1251ToUtf8(std::string_view cp1251);

// The Unicode code point of one code-page byte.
char32_t Cp1251ToCodePoint(uint8_t byte);

// The lower-case form of one code-page byte: Latin A-Z and every Cyrillic capital letter
// of the code page (Ё, Ђ, Ѓ, Є, Ѕ, І, Ї, Ј, Љ, Њ, Ћ, Ќ, Ў, Џ, Ґ, А-Я); other bytes unchanged.
uint8_t Cp1251ToLower(uint8_t byte);

// True when both code-page texts are equal after mapping letters to lower case.
bool Cp1251EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace tarvu
