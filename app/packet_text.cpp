#include "app/packet_text.h"

#include "link/hex_text.h"
#include "platform/cp1251.h"

namespace tarvu {

std::string NormalisePacketText(std::string_view utf8) {
    const std::string text = Utf8ToCp1251(utf8);
    std::string compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (c != ' ') {
            compact += c;
        }
    }
    std::string grouped = compact.substr(0, 2);
    for (size_t i = 2; i < compact.size(); i += 2) {
        grouped += ' ';
        grouped.append(compact, i, 2);
    }
    return Cp1251ToUtf8(grouped);
}

std::vector<uint8_t> PacketTextToBytes(std::string_view utf8) {
    const std::string text = Utf8ToCp1251(utf8);
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 3 + 1);
    for (size_t pos = 0; pos < text.size(); pos += 3) {
        // Same value as strtol("0x" + pair, nullptr, 16): digits up to the first non-digit.
        const std::string_view pair = std::string_view(text).substr(pos, 2);
        unsigned value = 0;
        for (char c : pair) {
            const int digit = HexDigitValue(c);
            if (digit < 0) {
                break;
            }
            value = value * 16 + static_cast<unsigned>(digit);
        }
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
    }
    return bytes;
}

}  // namespace tarvu
