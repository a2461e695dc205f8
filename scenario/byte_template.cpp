#include "scenario/byte_template.h"

#include "link/hex_text.h"
#include "link/packet_decode.h"

#include <string>

namespace tarvu::scenario {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool ParseOffset(std::string_view text, uint32_t& value) {
    if (text.empty() || text.size() > 4) {
        return false;
    }
    uint32_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    value = v;
    return true;
}

// Reads the placeholder between the braces.
bool ParsePlaceholder(std::string_view name, TemplateScope scope, TemplateItem& item,
                      std::string& error) {
    if (name == "n") {
        item.part = TemplatePart::kCounter;
        item.width = 1;
        return true;
    }
    if (name.size() == 3 && name.substr(0, 2) == "n:" && name[2] >= '1' && name[2] <= '4') {
        item.part = TemplatePart::kCounter;
        item.width = static_cast<uint8_t>(name[2] - '0');
        return true;
    }
    struct Named {
        std::string_view text;
        TemplatePart part;
    };
    static constexpr Named kCopies[] = {
        {"dev", TemplatePart::kDevice},   {"addr2", TemplatePart::kSecond},
        {"type", TemplatePart::kType},    {"qual", TemplatePart::kQualifier},
        {"code", TemplatePart::kCode},    {"body", TemplatePart::kBody},
        {"packet", TemplatePart::kPacket}};
    bool copy = false;
    for (const Named& named : kCopies) {
        if (named.text == name) {
            item.part = named.part;
            copy = true;
        }
    }
    if (!copy && !name.empty() && name[0] >= '0' && name[0] <= '9') {
        const size_t dots = name.find("..");
        item.part = TemplatePart::kRange;
        if (dots == std::string_view::npos) {
            copy = ParseOffset(name, item.first);
            item.last = item.first;
        } else {
            copy = ParseOffset(name.substr(0, dots), item.first);
            item.last = UINT32_MAX;
            if (copy && dots + 2 < name.size()) {
                copy = ParseOffset(name.substr(dots + 2), item.last) && item.last >= item.first;
            }
        }
    }
    if (!copy) {
        error = scope == TemplateScope::kReply
                    ? "unknown placeholder; known: {n} {n:2} {dev} {addr2} {type} {qual} {code} "
                      "{body} {packet} {3} {3..} {3..5}"
                    : "unknown placeholder; known: {n}, {n:2}, {n:3}, {n:4}";
        return false;
    }
    if (scope != TemplateScope::kReply) {
        error = "only a rule's reply can copy from a received packet";
        return false;
    }
    return true;
}

void AppendCopy(const TemplateItem& item, std::span<const uint8_t> received,
                std::vector<uint8_t>& out) {
    if (item.part == TemplatePart::kPacket) {
        out.insert(out.end(), received.begin(), received.end());
        return;
    }
    if (item.part == TemplatePart::kRange) {
        if (item.first >= received.size()) {
            return;
        }
        const size_t end = std::min<size_t>(received.size(), size_t{item.last} + 1);
        out.insert(out.end(), received.begin() + item.first,
                   received.begin() + static_cast<ptrdiff_t>(end));
        return;
    }
    const DecodedPacket packet = DecodePacket(received);
    if (received.empty()) {
        return;
    }
    const size_t addressesEnd = 1u + packet.deviceLength + packet.secondLength;
    switch (item.part) {
        case TemplatePart::kDevice:
            if (addressesEnd <= received.size()) {
                out.insert(out.end(), received.begin() + 1,
                           received.begin() + 1 + packet.deviceLength);
            }
            break;
        case TemplatePart::kSecond:
            if (addressesEnd <= received.size()) {
                out.insert(out.end(), received.begin() + 1 + packet.deviceLength,
                           received.begin() + static_cast<ptrdiff_t>(addressesEnd));
            }
            break;
        case TemplatePart::kType:
        case TemplatePart::kQualifier:
            if (packet.shape == PacketShape::kPlain) {
                out.push_back(item.part == TemplatePart::kType ? packet.typeByte
                                                               : packet.qualifier);
            }
            break;
        case TemplatePart::kCode:
            if (packet.shape == PacketShape::kPlain && packet.hasMessageCode) {
                out.push_back(packet.messageCode);
            }
            break;
        case TemplatePart::kBody:
            if (packet.shape != PacketShape::kShort) {
                const auto start = received.begin() + static_cast<ptrdiff_t>(packet.bodyOffset);
                out.insert(out.end(), start, start + static_cast<ptrdiff_t>(packet.bodyLength));
            }
            break;
        default:
            break;
    }
}

}  // namespace

bool ByteTemplate::CopiesReceived() const {
    for (const TemplateItem& item : items) {
        if (item.part != TemplatePart::kBytes && item.part != TemplatePart::kCounter) {
            return true;
        }
    }
    return false;
}

size_t ByteTemplate::FixedLength() const {
    size_t length = 0;
    for (const TemplateItem& item : items) {
        length += item.part == TemplatePart::kBytes     ? item.bytes.size()
                  : item.part == TemplatePart::kCounter ? item.width
                                                        : 0;
    }
    return length;
}

void ByteTemplate::Expand(uint64_t counter, std::span<const uint8_t> received,
                          std::vector<uint8_t>& out) const {
    for (const TemplateItem& item : items) {
        switch (item.part) {
            case TemplatePart::kBytes:
                out.insert(out.end(), item.bytes.begin(), item.bytes.end());
                break;
            case TemplatePart::kCounter:
                for (uint8_t i = 0; i < item.width; ++i) {
                    out.push_back(static_cast<uint8_t>(counter >> (8 * i)));
                }
                break;
            default:
                AppendCopy(item, received, out);
                break;
        }
    }
}

bool ParseByteTemplate(std::string_view text, size_t offset, TemplateScope scope, ByteTemplate& out,
                       Failure& failure) {
    out.items.clear();
    std::vector<uint8_t> bytes;
    int pending = -1;  // the first digit of a pair, -1 when none
    size_t pendingOffset = 0;
    const auto flush = [&] {
        if (!bytes.empty()) {
            TemplateItem item;
            item.bytes = std::move(bytes);
            out.items.push_back(std::move(item));
            bytes.clear();
        }
    };
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (IsBlank(c)) {
            ++i;
            continue;
        }
        if (c == '{') {
            if (pending >= 0) {
                failure = {offset + pendingOffset, i - pendingOffset + 1,
                           "half a byte before the placeholder"};
                return false;
            }
            const size_t close = text.find('}', i);
            if (close == std::string_view::npos) {
                failure = {offset + i, text.size() - i, "the placeholder has no closing }"};
                return false;
            }
            TemplateItem item;
            std::string error;
            if (!ParsePlaceholder(text.substr(i + 1, close - i - 1), scope, item, error)) {
                failure = {offset + i, close - i + 1, error};
                return false;
            }
            flush();
            out.items.push_back(std::move(item));
            i = close + 1;
            continue;
        }
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            failure = {offset + i, 1, "not a hexadecimal digit"};
            return false;
        }
        if (pending < 0) {
            pending = digit;
            pendingOffset = i;
        } else {
            bytes.push_back(static_cast<uint8_t>(pending * 16 + digit));
            pending = -1;
        }
        ++i;
    }
    if (pending >= 0) {
        // As the packet field reads it: a last single digit is a byte of its own.
        bytes.push_back(static_cast<uint8_t>(pending));
    }
    flush();
    if (out.items.empty()) {
        failure = {offset, text.size(), "no packet bytes"};
        return false;
    }
    return true;
}

}  // namespace tarvu::scenario
