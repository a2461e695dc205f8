#include "trace/decoded_line.h"

#include "trace/message_catalogue.h"
#include "trace/trace_line.h"

#include <cstring>
#include <string_view>

namespace tarvu {
namespace {

constexpr std::string_view kDecodedPrefix = "                               ...= ";
static_assert(kDecodedPrefix.size() == kTracePrefixWidth + 2);
constexpr char kDigits[] = "0123456789ABCDEF";

// A little-endian field's value in upper-case hexadecimal with at least two digits, as the
// catalogue prints codes, however many bytes the field has.
void AppendHexValue(std::string& out, std::span<const uint8_t> field) {
    size_t top = field.size();
    while (top > 0 && field[top - 1] == 0) {
        --top;
    }
    if (top == 0) {
        out += "00";
        return;
    }
    const uint8_t first = field[top - 1];
    if (first >= 0x10) {
        out += kDigits[first >> 4];
    } else if (top == 1) {
        out += '0';
    }
    out += kDigits[first & 0x0F];
    for (size_t i = top - 1; i > 0; --i) {
        out += kDigits[field[i - 1] >> 4];
        out += kDigits[field[i - 1] & 0x0F];
    }
}

void AppendHexByte(std::string& out, uint8_t byte) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

// Two digits per byte, single blanks between; written in place, since bodies run to 500 bytes
// and this runs once per received datagram.
void AppendHexBytes(std::string& out, std::span<const uint8_t> bytes) {
    const size_t start = out.size();
    out.resize(start + bytes.size() * 3 - 1, ' ');
    char* p = out.data() + start;
    for (size_t i = 0; i < bytes.size(); ++i) {
        p[i * 3] = kDigits[bytes[i] >> 4];
        p[i * 3 + 1] = kDigits[bytes[i] & 0x0F];
    }
}

void AppendAddressField(std::string& out, std::string_view key, std::span<const uint8_t> field) {
    out += key;
    if (field.empty()) {
        out += '-';
    } else {
        AppendHexValue(out, field);
    }
}

void AppendDecimal(std::string& out, uint32_t value, int width) {
    char reversed[10];
    int n = 0;
    do {
        reversed[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = n; i < width; ++i) {
        out += '0';
    }
    while (n > 0) {
        out += reversed[--n];
    }
}

bool NamedParameter(uint8_t value) {
    return value == 0x9D || value == 0x9E || value == 0xCE || value == 0xEE;
}

}  // namespace

void AppendDecodedLine(std::string& out, std::span<const uint8_t> bytes,
                       std::optional<uint32_t> replyMs) {
    const DecodedPacket packet = DecodePacket(bytes);
    // Prefix, fields, a name of up to ~110 bytes, the body dump and the reply time.
    out.reserve(out.size() + kDecodedPrefix.size() + 200 + bytes.size() * 3);
    out += kDecodedPrefix;
    switch (packet.shape) {
        case PacketShape::kShort:
            out += "short";
            break;
        case PacketShape::kEncrypted:
            out += "encrypted ";
            AppendAddressField(out, "dev=", packet.deviceField);
            AppendAddressField(out, " addr2=", packet.secondField);
            break;
        case PacketShape::kPlain: {
            AppendAddressField(out, "dev=", packet.deviceField);
            AppendAddressField(out, " addr2=", packet.secondField);
            out += " type=";
            AppendHexByte(out, packet.typeByte);
            out += " qual=";
            AppendHexByte(out, packet.qualifier);
            const std::span<const uint8_t> body =
                bytes.subspan(packet.bodyOffset, packet.bodyLength);
            if (packet.hasMessageCode) {
                out += " code=";
                out += DescribeCode(packet.messageCode);
                // A message packet carries its parameter in the first body byte.
                if (!body.empty() && NamedParameter(body[0])) {
                    out += " param=";
                    out += DescribeParameter(body[0]);
                }
            }
            out += " body=";
            if (body.empty()) {
                out += '-';
            } else {
                AppendHexBytes(out, body);
            }
            break;
        }
    }
    if (replyMs) {
        out += " reply=";
        AppendDecimal(out, *replyMs, 1);
        out += "ms";
    }
    out += '\n';
}

std::string FormatPeer(uint32_t address, uint16_t port) {
    std::string text;
    uint8_t octets[4];
    std::memcpy(octets, &address, sizeof octets);
    for (int i = 0; i < 4; ++i) {
        if (i != 0) {
            text += '.';
        }
        AppendDecimal(text, octets[i], 3);
    }
    text += ':';
    AppendDecimal(text, port, 5);
    return text;
}

void AppendNewSenderLine(std::string& out, uint32_t address, uint16_t port) {
    out += kDecodedPrefix;
    out += "new sender ";
    out += FormatPeer(address, port);
    out += '\n';
}

}  // namespace tarvu
