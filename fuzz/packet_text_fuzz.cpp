// The packet field's text on any input: tidying keeps every non-blank character in order,
// grouped in pairs, and is idempotent; turning text into bytes gives one byte per group and
// reads back the bytes of a text written from them.

#include "app/packet_text.h"
#include "fuzz/fuzz_check.h"
#include "link/hex_text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string WithoutBlanks(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c != ' ') {
            out += c;
        }
    }
    return out;
}

// The byte of one group as the field reads it: up to two leading hexadecimal digits.
uint8_t GroupValue(std::string_view group) {
    unsigned value = 0;
    for (size_t i = 0; i < group.size() && i < 2; ++i) {
        const char c = group[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            break;
        }
        value = value * 16 + digit;
    }
    return static_cast<uint8_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string normal = tarvu::NormalisePacketText(text);
    const std::string compact = WithoutBlanks(text);
    FUZZ_CHECK(WithoutBlanks(normal) == compact);
    for (size_t i = 0; i < normal.size(); ++i) {
        FUZZ_CHECK((normal[i] == ' ') == (i % 3 == 2));
    }
    FUZZ_CHECK(normal.empty() || normal.back() != ' ');
    FUZZ_CHECK(tarvu::NormalisePacketText(normal) == normal);

    // Any text: one byte per three characters, each from its group's leading digits.
    const std::vector<uint8_t> raw = tarvu::PacketTextToBytes(text);
    FUZZ_CHECK(raw.size() == (size + 2) / 3);
    for (size_t i = 0; i < raw.size(); ++i) {
        FUZZ_CHECK(raw[i] == GroupValue(text.substr(3 * i, 2)));
    }

    // The tidied text of a written packet reads back as that packet.
    const std::vector<uint8_t> bytes = tarvu::PacketTextToBytes(normal);
    FUZZ_CHECK(bytes.size() == (compact.size() + 1) / 2);
    const std::string written = tarvu::FormatHexBytes(bytes.data(), bytes.size());
    FUZZ_CHECK(tarvu::NormalisePacketText(written) == written);
    FUZZ_CHECK(tarvu::PacketTextToBytes(written) == bytes);
    FUZZ_CHECK(tarvu::PacketTextToBytes(WithoutBlanks(written)).size() ==
               (2 * bytes.size() + 2) / 3);
    return 0;
}
