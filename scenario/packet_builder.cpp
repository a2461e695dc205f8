#include "scenario/packet_builder.h"

#include "link/hex_text.h"
#include "link/packet_decode.h"
#include "scenario/code_value.h"
#include "scenario/field_text.h"

namespace tarvu::scenario {
namespace {

uint8_t ShortestWidth(uint32_t value) {
    return value < 0x100u ? 1 : value < 0x10000u ? 2 : value < 0x1000000u ? 3 : 4;
}

bool ParseHexNumber(std::string_view text, size_t maxDigits, uint64_t& value) {
    if (text.empty() || text.size() > maxDigits) {
        return false;
    }
    uint64_t v = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return false;
        }
        v = v * 16 + static_cast<uint64_t>(digit);
    }
    value = v;
    return true;
}

bool ParseAddress(const FieldText& field, TemplateScope scope, FieldPacket::Address& address,
                  Failure& failure) {
    const std::string_view copy = field.name == FieldName::kDevice ? "{dev}" : "{addr2}";
    if (field.value == "-") {
        address.kind = FieldPacket::Address::Kind::kAbsent;
        return true;
    }
    if (field.value == copy) {
        if (scope != TemplateScope::kReply) {
            failure = {field.valueOffset, field.value.size(),
                       "only a rule's reply can copy from a received packet"};
            return false;
        }
        address.kind = FieldPacket::Address::Kind::kCopy;
        return true;
    }
    uint64_t value = 0;
    if (!ParseHexNumber(field.value, 8, value)) {
        failure = {field.valueOffset, field.value.size(),
                   "an address is up to 8 hex digits, - for none, or " + std::string(copy)};
        return false;
    }
    address.kind = FieldPacket::Address::Kind::kValue;
    address.value = static_cast<uint32_t>(value);
    return true;
}

bool ParseByteField(const FieldText& field, TemplateScope scope, FieldPacket::Byte& byte,
                    Failure& failure) {
    const std::string_view copy = field.name == FieldName::kType        ? "{type}"
                                  : field.name == FieldName::kQualifier ? "{qual}"
                                                                        : "{code}";
    if (field.value == copy) {
        if (scope != TemplateScope::kReply) {
            failure = {field.valueOffset, field.value.size(),
                       "only a rule's reply can copy from a received packet"};
            return false;
        }
        byte.kind = FieldPacket::Byte::Kind::kCopy;
        return true;
    }
    byte.kind = FieldPacket::Byte::Kind::kValue;
    if (field.name == FieldName::kCode) {
        return ParseCodeValue(field.value, field.valueOffset, byte.value, failure);
    }
    uint64_t value = 0;
    if (!ParseHexNumber(field.value, 2, value)) {
        failure = {field.valueOffset, field.value.size(),
                   "one byte in hex (two digits) or " + std::string(copy)};
        return false;
    }
    byte.value = static_cast<uint8_t>(value);
    return true;
}

bool ParseFieldPacket(const SourceLine& line, size_t first, size_t last, TemplateScope scope,
                      FieldPacket& packet, Failure& failure) {
    std::vector<FieldText> fields;
    if (!SplitFields(line, first, last, fields, failure)) {
        return false;
    }
    const FieldText* code = nullptr;
    for (const FieldText& field : fields) {
        bool ok = true;
        switch (field.name) {
            case FieldName::kDevice:
                ok = ParseAddress(field, scope, packet.device, failure);
                break;
            case FieldName::kSecond:
                ok = ParseAddress(field, scope, packet.second, failure);
                break;
            case FieldName::kType:
                ok = ParseByteField(field, scope, packet.type, failure);
                break;
            case FieldName::kQualifier:
                ok = ParseByteField(field, scope, packet.qualifier, failure);
                break;
            case FieldName::kCode:
                ok = ParseByteField(field, scope, packet.code, failure);
                code = &field;
                break;
            case FieldName::kBody:
                if (field.value != "-") {
                    ok = ParseByteTemplate(field.value, field.valueOffset, scope, packet.body,
                                           failure);
                }
                break;
        }
        if (!ok) {
            return false;
        }
    }
    using Kind = FieldPacket::Byte::Kind;
    if (packet.type.kind == Kind::kNone) {
        packet.type = {Kind::kValue, 0x30};
    }
    if (packet.qualifier.kind == Kind::kNone) {
        packet.qualifier = {Kind::kValue, static_cast<uint8_t>(code != nullptr ? 0x10 : 0x00)};
    }
    if (code != nullptr &&
        ((packet.type.kind == Kind::kValue && (packet.type.value & 0xF0) != 0x30) ||
         (packet.qualifier.kind == Kind::kValue &&
          packet.qualifier.value != kQualifierMessageCode))) {
        failure = {code->nameOffset, code->value.size() + 5,
                   "a message code needs a type of class 3 (3?) and qual=10"};
        return false;
    }
    return true;
}

void AppendAddress(const FieldPacket::Address& address, std::span<const uint8_t> copied,
                   std::vector<uint8_t>& out, size_t& width) {
    switch (address.kind) {
        case FieldPacket::Address::Kind::kAbsent:
            width = 0;
            break;
        case FieldPacket::Address::Kind::kValue:
            width = ShortestWidth(address.value);
            for (size_t i = 0; i < width; ++i) {
                out.push_back(static_cast<uint8_t>(address.value >> (8 * i)));
            }
            break;
        case FieldPacket::Address::Kind::kCopy:
            width = copied.size();
            out.insert(out.end(), copied.begin(), copied.end());
            break;
    }
}

void AppendByte(const FieldPacket::Byte& byte, std::optional<uint8_t> copied,
                std::vector<uint8_t>& out) {
    if (byte.kind == FieldPacket::Byte::Kind::kValue) {
        out.push_back(byte.value);
    } else if (byte.kind == FieldPacket::Byte::Kind::kCopy && copied) {
        out.push_back(*copied);
    }
}

void BuildFields(const FieldPacket& packet, uint64_t counter, std::span<const uint8_t> received,
                 std::vector<uint8_t>& out) {
    const DecodedPacket in = DecodePacket(received);
    const size_t addressesEnd = 1u + in.deviceLength + in.secondLength;
    const bool haveAddresses = !received.empty() && addressesEnd <= received.size();
    const std::span<const uint8_t> device =
        haveAddresses ? received.subspan(1, in.deviceLength) : std::span<const uint8_t>();
    const std::span<const uint8_t> second =
        haveAddresses ? received.subspan(1u + in.deviceLength, in.secondLength)
                      : std::span<const uint8_t>();
    const bool plain = in.shape == PacketShape::kPlain;

    const size_t start = out.size();
    out.push_back(0);
    size_t deviceWidth = 0;
    size_t secondWidth = 0;
    AppendAddress(packet.device, device, out, deviceWidth);
    AppendAddress(packet.second, second, out, secondWidth);
    // A copied field keeps its received width, which a plain length byte holds up to 15.
    out[start] = static_cast<uint8_t>(((deviceWidth & 0x0F) << 4) | (secondWidth & 0x0F));
    AppendByte(packet.type, plain ? std::optional<uint8_t>(in.typeByte) : std::nullopt, out);
    AppendByte(packet.qualifier, plain ? std::optional<uint8_t>(in.qualifier) : std::nullopt, out);
    AppendByte(packet.code,
               plain && in.hasMessageCode ? std::optional<uint8_t>(in.messageCode) : std::nullopt,
               out);
    packet.body.Expand(counter, received, out);
}

}  // namespace

bool PacketBuilder::CopiesReceived() const {
    if (const auto* bytes = std::get_if<ByteTemplate>(&form)) {
        return bytes->CopiesReceived();
    }
    const auto& fields = std::get<FieldPacket>(form);
    return fields.device.kind == FieldPacket::Address::Kind::kCopy ||
           fields.second.kind == FieldPacket::Address::Kind::kCopy ||
           fields.type.kind == FieldPacket::Byte::Kind::kCopy ||
           fields.qualifier.kind == FieldPacket::Byte::Kind::kCopy ||
           fields.code.kind == FieldPacket::Byte::Kind::kCopy || fields.body.CopiesReceived();
}

void PacketBuilder::Build(uint64_t counter, std::span<const uint8_t> received,
                          std::vector<uint8_t>& out) const {
    if (const auto* bytes = std::get_if<ByteTemplate>(&form)) {
        bytes->Expand(counter, received, out);
    } else {
        BuildFields(std::get<FieldPacket>(form), counter, received, out);
    }
}

bool ParsePacketBuilder(const SourceLine& line, size_t first, size_t last, TemplateScope scope,
                        PacketBuilder& out, Failure& failure) {
    if (first >= last) {
        // At the word that stands where the packet should, else just after the last one.
        const size_t end = first < line.tokens.size() ? line.tokens[first].offset
                           : first > 0                ? line.tokens[first - 1].End()
                                                      : line.text.size();
        failure = {end, 0, "no packet: give its bytes in hex or its fields"};
        return false;
    }
    if (LooksLikeField(line.tokens[first])) {
        FieldPacket packet;
        if (!ParseFieldPacket(line, first, last, scope, packet, failure)) {
            return false;
        }
        out.form = std::move(packet);
        return true;
    }
    ByteTemplate bytes;
    if (!ParseByteTemplate(TokenSpan(line, first, last), line.tokens[first].offset, scope, bytes,
                           failure)) {
        return false;
    }
    out.form = std::move(bytes);
    return true;
}

}  // namespace tarvu::scenario
