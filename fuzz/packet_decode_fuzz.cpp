// The packet decoder and its trace line on any bytes: every part it names lies inside the
// datagram, the header agrees with the engine's own parse where the engine can hold it, and
// the line is one line that shows every body byte.

#include "fuzz/fuzz_check.h"
#include "link/link_packet.h"
#include "link/packet_decode.h"
#include "trace/decoded_line.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An allocation of exactly the datagram's size, so that a read past it is caught.
    auto bytes = std::make_unique<uint8_t[]>(size);
    if (size != 0) {
        std::memcpy(bytes.get(), data, size);
    }
    const std::span<const uint8_t> datagram(bytes.get(), size);
    const tarvu::DecodedPacket packet = tarvu::DecodePacket(datagram);

    const size_t addressesEnd = 1u + packet.deviceLength + packet.secondLength;
    FUZZ_CHECK(packet.deviceLength <= 7 && packet.secondLength <= 15);
    if (packet.shape == tarvu::PacketShape::kShort) {
        FUZZ_CHECK(size == 0 || size < addressesEnd + 3);
    } else {
        FUZZ_CHECK(packet.bodyOffset <= size);
        FUZZ_CHECK(packet.bodyOffset + packet.bodyLength == size);
        FUZZ_CHECK(packet.bodyOffset >= addressesEnd);
        FUZZ_CHECK((packet.shape == tarvu::PacketShape::kEncrypted) == ((bytes[0] & 0x80) != 0));
    }
    if (packet.shape == tarvu::PacketShape::kPlain && packet.deviceLength <= 4 &&
        packet.secondLength <= 4) {
        const tarvu::LinkPacket engine = tarvu::LinkPacket::Parse(data, size);
        FUZZ_CHECK(packet.deviceAddress == engine.CachedDeviceAddress());
        FUZZ_CHECK(packet.secondAddress == engine.CachedSecondAddress());
        FUZZ_CHECK(packet.bodyOffset == engine.HeaderLength());
        FUZZ_CHECK(packet.hasMessageCode == (engine.MessageCode() != nullptr));
    }

    std::string line;
    tarvu::AppendDecodedLine(line, datagram,
                             size % 3 == 0 ? std::optional<uint32_t>(size) : std::nullopt);
    FUZZ_CHECK(!line.empty() && line.back() == '\n');
    FUZZ_CHECK(line.find('\n') == line.size() - 1);
    if (packet.shape == tarvu::PacketShape::kPlain && packet.bodyLength != 0) {
        const size_t body = line.find(" body=");
        FUZZ_CHECK(body != std::string::npos);
        // Two digits per byte and one blank between bytes.
        const size_t end = line.find(" reply=", body);
        const size_t shown = (end == std::string::npos ? line.size() - 1 : end) - (body + 6);
        FUZZ_CHECK(shown == packet.bodyLength * 3 - 1);
    }
    return 0;
}
