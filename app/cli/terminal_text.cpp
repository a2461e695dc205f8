#include "app/cli/terminal_text.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace tarvu::cli {
namespace {

void AppendByteEscape(std::string& out, uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(byte));
    out += text;
}

// Length of the well-formed UTF-8 sequence at the start of `text` and its code point; 0 when
// the first byte does not start one (stray continuation, overlong form, surrogate, > U+10FFFF).
size_t DecodeUtf8(std::string_view text, uint32_t& codePoint) {
    const auto byte = [&text](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    size_t length = 0;
    uint32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80u) {
            return 0;
        }
        codePoint = (codePoint << 6) | (byte(i) & 0x3Fu);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool IsHiddenCharacter(uint32_t codePoint) {
    return (codePoint >= 0x80 && codePoint <= 0x9F) ||      // C1 controls
           (codePoint >= 0x202A && codePoint <= 0x202E) ||  // embeddings and overrides
           (codePoint >= 0x2066 && codePoint <= 0x2069) ||  // isolates
           codePoint == 0x200E || codePoint == 0x200F;      // direction marks
}

}  // namespace

std::string EscapeControls(std::string_view text, bool keepLineEnds) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<uint8_t>(text[i]);
        if (byte < 0x80) {
            if ((byte < 0x20 && !(keepLineEnds && byte == '\n')) || byte == 0x7F) {
                AppendByteEscape(out, byte);
            } else {
                out += static_cast<char>(byte);
            }
            ++i;
            continue;
        }
        uint32_t codePoint = 0;
        const size_t length = DecodeUtf8(text.substr(i), codePoint);
        if (length == 0) {
            AppendByteEscape(out, byte);
            ++i;
            continue;
        }
        if (IsHiddenCharacter(codePoint)) {
            char escaped[12];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(codePoint));
            out += escaped;
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

void PrintErrorLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    if (length > 0) {
        std::vsnprintf(text.data(), text.size(), format, args);
    }
    va_end(args);
    const std::string line = EscapeControls(std::string_view(text.data(), text.size() - 1)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace tarvu::cli
