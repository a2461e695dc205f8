#include "platform/cp1251.h"

#include "platform/utf8.h"

#include <array>

namespace tarvu {
namespace {

// Code points of bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F, 0x00..0x7F are ASCII.
constexpr std::array<char32_t, 64> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

constexpr char32_t CodePointOf(uint8_t byte) {
    if (byte < 0x80) {
        return byte;
    }
    if (byte >= 0xC0) {
        return 0x0410 + (byte - 0xC0);
    }
    return kUpperHalf[byte - 0x80];
}

// Code point back to byte; -1 when the code page has no such character.
constexpr int ByteOf(char32_t cp) {
    if (cp < 0x80) {
        return static_cast<int>(cp);
    }
    if (cp >= 0x0410 && cp <= 0x044F) {
        return static_cast<int>(0xC0 + (cp - 0x0410));
    }
    for (size_t i = 0; i < kUpperHalf.size(); ++i) {
        if (kUpperHalf[i] == cp) {
            return static_cast<int>(0x80 + i);
        }
    }
    return -1;
}

// Lower case of a Cyrillic or Latin capital as a code point; other code points unchanged.
constexpr char32_t LowerCodePoint(char32_t cp) {
    if (cp >= 'A' && cp <= 'Z') {
        return cp + 0x20;
    }
    if (cp >= 0x0400 && cp <= 0x040F) {
        return cp + 0x50;
    }
    if (cp >= 0x0410 && cp <= 0x042F) {
        return cp + 0x20;
    }
    if (cp == 0x0490) {
        return 0x0491;
    }
    return cp;
}

constexpr std::array<uint8_t, 256> MakeLowerTable() {
    std::array<uint8_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        const int lower = ByteOf(LowerCodePoint(CodePointOf(static_cast<uint8_t>(b))));
        table[static_cast<size_t>(b)] = static_cast<uint8_t>(lower < 0 ? b : lower);
    }
    return table;
}

constexpr std::array<uint8_t, 256> kLower = MakeLowerTable();

static_assert(kLower[0xC0] == 0xE0 && kLower[0xDF] == 0xFF && kLower[0xA8] == 0xB8);
static_assert(kLower[0x80] == 0x90 && kLower[0xA5] == 0xB4 && kLower['Q'] == 'q');
static_assert(ByteOf(0x2116) == 0xB9, "the number sign is 0xB9");

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

char32_t Cp1251ToCodePoint(uint8_t byte) {
    return CodePointOf(byte);
}

uint8_t Cp1251ToLower(uint8_t byte) {
    return kLower[byte];
}

bool Cp1251EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (kLower[static_cast<uint8_t>(a[i])] != kLower[static_cast<uint8_t>(b[i])]) {
            return false;
        }
    }
    return true;
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (const char c : cp1251) {
        AppendUtf8(out, CodePointOf(static_cast<uint8_t>(c)));
    }
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    // Each malformed piece costs one replacement character.
    size_t pos = 0;
    while (pos < utf8.size()) {
        const Utf8Sequence sequence = DecodeUtf8Sequence(utf8.substr(pos));
        pos += sequence.length;
        const int byte = sequence.valid ? ByteOf(sequence.codePoint) : -1;
        out.push_back(byte < 0 ? kCp1251Replacement : static_cast<char>(byte));
    }
    return out;
}

}  // namespace tarvu
