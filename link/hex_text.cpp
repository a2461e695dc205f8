#include "link/hex_text.h"

#include <cstdio>

namespace tarvu {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string FormatHexBytes(const uint8_t* data, size_t n) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    if (n == 0) {
        return text;
    }
    text.resize(n * 3 - 1, ' ');
    for (size_t i = 0; i < n; ++i) {
        text[i * 3] = kDigits[data[i] >> 4];
        text[i * 3 + 1] = kDigits[data[i] & 0x0F];
    }
    return text;
}

bool ParseHexStrict(std::string_view text, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    int high = -1;
    size_t highPos = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            continue;
        }
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            const unsigned char u = static_cast<unsigned char>(c);
            char shown[16];
            if (u >= 0x20 && u < 0x7F) {
                snprintf(shown, sizeof shown, "'%c'", c);
            } else {
                snprintf(shown, sizeof shown, "byte 0x%02X", u);
            }
            error = "not a hexadecimal digit: " + std::string(shown) + " at position " +
                    std::to_string(i + 1) + " of \"" + std::string(text) + "\"";
            return false;
        }
        if (high < 0) {
            high = digit;
            highPos = i;
        } else {
            out.push_back(static_cast<uint8_t>((high << 4) | digit));
            high = -1;
        }
    }
    if (high >= 0) {
        error = "odd number of hexadecimal digits: the digit at position " +
                std::to_string(highPos + 1) + " of \"" + std::string(text) + "\" has no partner";
        return false;
    }
    return true;
}

}  // namespace tarvu
