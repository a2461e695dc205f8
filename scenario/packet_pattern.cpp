#include "scenario/packet_pattern.h"

#include "link/hex_text.h"
#include "link/packet_decode.h"
#include "scenario/code_value.h"
#include "scenario/field_text.h"

namespace tarvu::scenario {
namespace {

bool AddressMatches(const FieldPattern::Address& pattern, uint8_t length, uint64_t value) {
    return pattern.absent ? length == 0 : length != 0 && value == pattern.value;
}

bool ParseAddress(const FieldText& field, FieldPattern::Address& address, Failure& failure) {
    if (field.value == "-") {
        address.absent = true;
        return true;
    }
    // A header states at most 7 bytes a field.
    if (field.value.size() > 14) {
        failure = {field.valueOffset, field.value.size(), "an address is up to 14 hex digits"};
        return false;
    }
    uint64_t value = 0;
    for (size_t i = 0; i < field.value.size(); ++i) {
        const int digit = HexDigitValue(field.value[i]);
        if (digit < 0) {
            failure = {field.valueOffset + i, 1,
                       "an address is a number in hex, or - for no address field"};
            return false;
        }
        value = value * 16 + static_cast<uint64_t>(digit);
    }
    address.value = value;
    return true;
}

bool ParseByte(const FieldText& field, MaskedByte& byte, Failure& failure) {
    if (field.value.size() == 2 && ParseMaskedByte(field.value[0], field.value[1], byte)) {
        return true;
    }
    if (field.value.size() == 1 && HexDigitValue(field.value[0]) >= 0) {
        return ParseMaskedByte('0', field.value[0], byte);
    }
    if (field.name == FieldName::kCode) {
        uint8_t code = 0;
        if (!ParseCodeValue(field.value, field.valueOffset, code, failure)) {
            return false;
        }
        byte = {code, 0xFF};
        return true;
    }
    failure = {field.valueOffset, field.value.size(), "one byte in hex, ? for a half byte (3?)"};
    return false;
}

bool ParseFieldPattern(const SourceLine& line, size_t first, size_t last, FieldPattern& pattern,
                       Failure& failure) {
    std::vector<FieldText> fields;
    if (!SplitFields(line, first, last, fields, failure)) {
        return false;
    }
    for (const FieldText& field : fields) {
        bool ok = true;
        switch (field.name) {
            case FieldName::kDevice:
                pattern.device = FieldPattern::Address{};
                ok = ParseAddress(field, *pattern.device, failure);
                break;
            case FieldName::kSecond:
                pattern.second = FieldPattern::Address{};
                ok = ParseAddress(field, *pattern.second, failure);
                break;
            case FieldName::kType:
                ok = ParseByte(field, pattern.type.emplace(), failure);
                break;
            case FieldName::kQualifier:
                ok = ParseByte(field, pattern.qualifier.emplace(), failure);
                break;
            case FieldName::kCode:
                ok = ParseByte(field, pattern.code.emplace(), failure);
                break;
            case FieldName::kBody:
                if (field.value == "-") {
                    pattern.body.emplace();
                } else {
                    ok = ParseBytePattern(field.value, field.valueOffset, pattern.body.emplace(),
                                          failure);
                }
                break;
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::optional<int> FieldCodeKey(const FieldPattern& pattern) {
    if (pattern.code) {
        // A packet that matches has a code; only a whole code pins it.
        return pattern.code->mask == 0xFF ? std::optional<int>(pattern.code->value) : std::nullopt;
    }
    const bool typeNotClass3 =
        pattern.type && (pattern.type->mask & 0xF0) == 0xF0 && (pattern.type->value & 0xF0) != 0x30;
    const bool qualifierNotCode = pattern.qualifier && pattern.qualifier->mask == 0xFF &&
                                  pattern.qualifier->value != kQualifierMessageCode;
    if (typeNotClass3 || qualifierNotCode) {
        return kNoCodeKey;
    }
    return std::nullopt;
}

std::optional<int> ByteCodeKey(const BytePattern& pattern) {
    const std::vector<MaskedByte>& bytes = pattern.bytes;
    if (bytes.empty() || bytes[0].mask != 0xFF) {
        return std::nullopt;
    }
    const uint8_t lengthByte = bytes[0].value;
    if ((lengthByte & 0x80) != 0) {
        return kNoCodeKey;  // encrypted: the decoder names no code
    }
    const size_t typeIndex = 1u + (lengthByte >> 4) + (lengthByte & 0x0F);
    const size_t codeIndex = typeIndex + 2;
    // Matching packets have exactly the pattern's length; too short for a code, they have none.
    if (!pattern.anyRest && bytes.size() <= codeIndex) {
        return kNoCodeKey;
    }
    if (typeIndex < bytes.size() && (bytes[typeIndex].mask & 0xF0) == 0xF0 &&
        (bytes[typeIndex].value & 0xF0) != 0x30) {
        return kNoCodeKey;
    }
    if (typeIndex + 1 < bytes.size() && bytes[typeIndex + 1].mask == 0xFF &&
        bytes[typeIndex + 1].value != kQualifierMessageCode) {
        return kNoCodeKey;
    }
    const bool codeAnnounced = codeIndex < bytes.size() && (bytes[typeIndex].mask & 0xF0) == 0xF0 &&
                               bytes[typeIndex + 1].mask == 0xFF;
    if (codeAnnounced && bytes[codeIndex].mask == 0xFF) {
        return bytes[codeIndex].value;
    }
    return std::nullopt;
}

}  // namespace

bool FieldPattern::Matches(std::span<const uint8_t> packet) const {
    const DecodedPacket decoded = DecodePacket(packet);
    const bool haveAddresses =
        !packet.empty() && 1u + decoded.deviceLength + decoded.secondLength <= packet.size();
    if ((device || second) && !haveAddresses) {
        return false;
    }
    if (device && !AddressMatches(*device, decoded.deviceLength, decoded.deviceAddress)) {
        return false;
    }
    if (second && !AddressMatches(*second, decoded.secondLength, decoded.secondAddress)) {
        return false;
    }
    if (!type && !qualifier && !code && !body) {
        return true;
    }
    if (decoded.shape != PacketShape::kPlain) {
        return false;
    }
    if ((type && !type->Matches(decoded.typeByte)) ||
        (qualifier && !qualifier->Matches(decoded.qualifier))) {
        return false;
    }
    if (code && (!decoded.hasMessageCode || !code->Matches(decoded.messageCode))) {
        return false;
    }
    return !body || body->Matches(packet.subspan(decoded.bodyOffset, decoded.bodyLength));
}

int PacketCodeKey(std::span<const uint8_t> packet) {
    const DecodedPacket decoded = DecodePacket(packet);
    return decoded.shape == PacketShape::kPlain && decoded.hasMessageCode ? decoded.messageCode
                                                                          : kNoCodeKey;
}

bool PacketPattern::Matches(std::span<const uint8_t> packet) const {
    if (const auto* bytes = std::get_if<BytePattern>(&form)) {
        return bytes->Matches(packet);
    }
    return std::get<FieldPattern>(form).Matches(packet);
}

std::optional<int> PacketPattern::CodeKey() const {
    if (const auto* bytes = std::get_if<BytePattern>(&form)) {
        return ByteCodeKey(*bytes);
    }
    return FieldCodeKey(std::get<FieldPattern>(form));
}

bool ParsePacketPattern(const SourceLine& line, size_t first, size_t last, PacketPattern& out,
                        Failure& failure) {
    if (first >= last) {
        // At the word that stands where the packet should, else just after the last one.
        const size_t end = first < line.tokens.size() ? line.tokens[first].offset
                           : first > 0                ? line.tokens[first - 1].End()
                                                      : line.text.size();
        failure = {end, 0, "no pattern: give bytes (11 01 ?? 30 *) or fields (code=A3 dev=01)"};
        return false;
    }
    out.text = std::string(TokenSpan(line, first, last));
    if (LooksLikeField(line.tokens[first])) {
        FieldPattern fields;
        if (!ParseFieldPattern(line, first, last, fields, failure)) {
            return false;
        }
        out.form = std::move(fields);
        return true;
    }
    BytePattern bytes;
    if (!ParseBytePattern(out.text, line.tokens[first].offset, bytes, failure)) {
        return false;
    }
    out.form = std::move(bytes);
    return true;
}

}  // namespace tarvu::scenario
