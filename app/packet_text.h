#pragma once
// The packet field's text: how "Send!" tidies it and turns it into the bytes it sends.
//
// The field holds single-byte text in code page 1251, as a single-byte edit control would:
// both operations take the UTF-8 text character by character in that code page, so a
// Cyrillic letter is one character, and a character the code page cannot hold (or a byte of
// malformed UTF-8) is one "?".

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvu {

// The largest packet the dialog's packet buffer and a link packet hold.
constexpr size_t kMaxPacketBytes = 512;

// Drops every blank (0x20 only) and regroups the rest in pairs separated by single blanks:
// "7e7f1" -> "7e 7f 1", "7E,7F" -> "7E ,7 F", "ЖЖЖ" -> "ЖЖ Ж". Other characters and the
// letter case stay; the result is UTF-8.
std::string NormalisePacketText(std::string_view utf8);

// One byte per three characters: the leading hexadecimal digits of each pair (at most two)
// make the byte, 0 when there are none; the third character of each group is skipped
// whatever it is. "7E ,7 F" -> 7E 00 0F; "ZZ" -> 00; "7Ж" -> 07.
std::vector<uint8_t> PacketTextToBytes(std::string_view utf8);

}  // namespace tarvu
