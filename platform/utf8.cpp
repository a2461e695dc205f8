#include "platform/utf8.h"

#include <cstdint>

namespace tarvu {

Utf8Sequence DecodeUtf8Sequence(std::string_view text) {
    const auto byte = [&text](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    Utf8Sequence sequence;
    sequence.length = 1;
    if (lead < 0x80) {
        sequence.codePoint = lead;
        sequence.valid = true;
        return sequence;
    }
    size_t length = 0;
    char32_t codePoint = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return sequence;
    }
    for (size_t i = 1; i < length; ++i) {
        if (i >= text.size() || (byte(i) & 0xC0u) != 0x80u) {
            sequence.length = i;
            return sequence;
        }
        codePoint = (codePoint << 6) | (byte(i) & 0x3Fu);
    }
    sequence.length = length;
    sequence.codePoint = codePoint;
    sequence.valid = codePoint >= minimum && codePoint <= 0x10FFFF &&
                     !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
    return sequence;
}

}  // namespace tarvu
