#include "tests/support/capture_reader.h"

namespace tarvu {

std::vector<uint8_t> CapturedPacket::Payload() const {
    return bytes.size() < 28 ? std::vector<uint8_t>{}
                             : std::vector<uint8_t>(bytes.begin() + 28, bytes.end());
}

uint16_t CapturedPacket::SourcePort() const {
    return bytes.size() < 28 ? 0 : static_cast<uint16_t>(bytes[20] << 8 | bytes[21]);
}

uint16_t CapturedPacket::DestinationPort() const {
    return bytes.size() < 28 ? 0 : static_cast<uint16_t>(bytes[22] << 8 | bytes[23]);
}

}  // namespace tarvu
