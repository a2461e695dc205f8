// The frame decoder on any byte stream cut into chunks at points taken from the input, against
// a byte-at-a-time model of the decoder fed the whole stream at once; then a packet made of the
// input is framed, fed to the same decoder and must come back unchanged.
//
// Input: byte 0 = number of cut points (low 3 bits), then one byte per cut point (the chunk
// length), then the stream.

#include "fuzz/fuzz_check.h"
#include "link/frame_codec.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using Packet = std::vector<uint8_t>;

// The decoder written as the plain per-byte algorithm: a 512-byte ring of the received bytes
// and a count of bytes since the last 0x7E (0xFFFF: no frame open).
class ModelDecoder {
public:
    void Feed(const uint8_t* data, size_t n, std::vector<Packet>& out) {
        for (size_t i = 0; i < n; ++i) {
            const uint8_t c = data[i];
            ring_[write_] = c;
            if (count_ < 0xFFFF) {
                ++count_;
            }
            if (c == 0x7E) {
                count_ = 1;
            } else if (c == 0x7F && count_ <= kRing) {
                std::vector<uint8_t> span(count_);
                for (size_t k = 0; k < count_; ++k) {
                    span[k] = ring_[(write_ + kRing + 1 - count_ + k) % kRing];
                }
                Packet packet;
                for (size_t k = 0; k < span.size(); ++k) {
                    if (span[k] == 0x7D && k + 1 < span.size()) {
                        packet.push_back(static_cast<uint8_t>(span[k + 1] ^ 0x40));
                        ++k;
                    } else if (span[k] != 0x7E && span[k] != 0x7F) {
                        packet.push_back(span[k]);
                    }
                }
                out.push_back(packet);
                count_ = 0xFFFF;
            }
            write_ = (write_ + 1) % kRing;
        }
    }

private:
    static constexpr size_t kRing = 512;
    std::array<uint8_t, kRing> ring_ = {};
    size_t write_ = 0;
    size_t count_ = 0xFFFF;
};

// Feeds `stream` in chunks of the given lengths (0 = the rest); collects what comes out.
void FeedInChunks(tarvu::FrameDecoder& decoder, const std::vector<uint8_t>& stream,
                  const std::vector<size_t>& cuts, std::vector<Packet>& out) {
    const auto sink = [&out](const uint8_t* p, size_t length) { out.emplace_back(p, p + length); };
    size_t pos = 0;
    for (size_t cut : cuts) {
        const size_t take = std::min(cut, stream.size() - pos);
        decoder.Feed(stream.data() + pos, take, sink);
        pos += take;
    }
    decoder.Feed(stream.data() + pos, stream.size() - pos, sink);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t cutCount = std::min<size_t>(data[0] & 7u, size - 1);
    std::vector<size_t> cuts;
    for (size_t i = 0; i < cutCount; ++i) {
        // Chunks of 0..255 bytes, scaled up so that cuts also land deep in long streams.
        cuts.push_back(static_cast<size_t>(data[1 + i]) * 3);
    }
    const std::vector<uint8_t> stream(data + 1 + cutCount, data + size);

    tarvu::FrameDecoder decoder;
    std::vector<Packet> got;
    FeedInChunks(decoder, stream, cuts, got);
    ModelDecoder model;
    std::vector<Packet> expected;
    model.Feed(stream.data(), stream.size(), expected);
    FUZZ_CHECK(got == expected);
    FUZZ_CHECK(decoder.WriteIndex() == stream.size() % tarvu::FrameDecoder::kRingSize);

    // Encode then decode is the identity, whatever the decoder saw before: a frame whose span
    // fits the ring comes back as it was; a longer one is dropped.
    const size_t packetLength = std::min(stream.size(), tarvu::LinkPacket::kCapacity);
    std::vector<uint8_t> frame(tarvu::FrameAreaSize(packetLength));
    const size_t frameLength = tarvu::FrameEncode(frame.data(), stream.data(), packetLength);
    FUZZ_CHECK(frameLength <= frame.size());
    size_t reserved = 0;
    for (size_t i = 0; i < packetLength; ++i) {
        reserved += tarvu::IsReservedFrameByte(stream[i]) ? 1 : 0;
    }
    FUZZ_CHECK(frameLength == packetLength + 2 + reserved);
    FUZZ_CHECK(frame[0] == tarvu::kFrameStart && frame[frameLength - 1] == tarvu::kFrameEnd);
    for (size_t i = 1; i + 1 < frameLength; ++i) {
        FUZZ_CHECK(frame[i] != tarvu::kFrameStart && frame[i] != tarvu::kFrameEnd);
    }
    frame.resize(frameLength);

    std::vector<Packet> decoded;
    FeedInChunks(decoder, frame, cuts, decoded);
    if (frameLength <= tarvu::FrameDecoder::kRingSize) {
        FUZZ_CHECK(decoded.size() == 1);
        FUZZ_CHECK(decoded[0] == Packet(stream.begin(), stream.begin() + packetLength));
    } else {
        FUZZ_CHECK(decoded.empty());
    }
    FUZZ_CHECK(decoder.FrameCount() == tarvu::FrameDecoder::kNoFrame ||
               frameLength > tarvu::FrameDecoder::kRingSize);
    return 0;
}
