#include "app/cli/terminal_text.h"

#include "platform/utf8.h"

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

bool IsHiddenCharacter(char32_t codePoint) {
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
        // A malformed sequence is escaped a byte at a time, so every byte of it shows.
        const Utf8Sequence sequence = DecodeUtf8Sequence(text.substr(i));
        if (!sequence.valid) {
            AppendByteEscape(out, byte);
            ++i;
            continue;
        }
        if (IsHiddenCharacter(sequence.codePoint)) {
            char escaped[12];
            std::snprintf(escaped, sizeof escaped, "\\u%04X",
                          static_cast<unsigned>(sequence.codePoint));
            out += escaped;
        } else {
            out.append(text.substr(i, sequence.length));
        }
        i += sequence.length;
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
