#pragma once
// Link frames on the line: 0x7E, the packet bytes with reserved bytes escaped, 0x7F. No length,
// checksum or sequence number.
//
// Reserved bytes are 0x7D, 0x7E, 0x7F, 0xFF, 0x2B and every byte below 0x20; each goes out as
// 0x7D followed by the byte XOR 0x40 (7E -> 7D 3E, 00 -> 7D 40).

#include "link/link_packet.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvu {

constexpr uint8_t kFrameStart = 0x7E;
constexpr uint8_t kFrameEnd = 0x7F;
constexpr uint8_t kFrameEscape = 0x7D;
constexpr uint8_t kFrameEscapeXor = 0x40;

bool IsReservedFrameByte(uint8_t b);

// Room FrameEncode needs for a packet of n bytes: every byte escaped plus both delimiters.
constexpr size_t FrameAreaSize(size_t packetLength) {
    return 2 * packetLength + 2;
}

// A send-side frame area of this size takes the frame of any LinkPacket, whatever its bytes
// (1026 bytes for the 512-byte capacity), so no accepted packet can overrun it.
constexpr size_t kFrameAreaSize = FrameAreaSize(LinkPacket::kCapacity);

// Writes the frame of in[0..n) to out, which must have room for FrameAreaSize(n) bytes;
// returns the frame length, n + 2 + the number of reserved bytes.
size_t FrameEncode(uint8_t* out, const uint8_t* in, size_t n);

// The per-channel receive-side state that cuts frames out of a byte stream delivered in
// arbitrary chunks. A frame is taken only when its span, from its 0x7E to its 0x7F, fits the
// 512-byte ring of received bytes; a longer one is dropped silently. A 0x7E always restarts the
// frame; a 0x7F without an open frame yields nothing; 7E 7F yields an empty packet. Escapes are
// undone without checking that the escaped byte was a reserved one, and a 0x7D right before the
// closing 0x7F takes the 0x7F with it and yields 0x3F.
//
// Not thread-safe: one channel's receive path feeds it, one chunk at a time.
class FrameDecoder {
public:
    static constexpr uint16_t kRingSize = 512;
    // frameCount value meaning that no frame is open; counting saturates there.
    static constexpr uint16_t kNoFrame = 0xFFFF;

    FrameDecoder() = default;
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Feeds n bytes and calls sink(const uint8_t* packet, size_t length) for every frame they
    // complete, in arrival order. The packet bytes live in a scratch area of the decoder that
    // the next frame overwrites: a sink that keeps them must copy them. The sink must not feed
    // this decoder.
    template <typename Sink>
    void Feed(const uint8_t* chunk, size_t n, Sink&& sink) {
        size_t pos = 0;
        while (pos < n) {
            bool produced = false;
            pos = ScanFrom(chunk, n, pos, produced);
            if (produced) {
                sink(static_cast<const uint8_t*>(packet_.data()), packetLength_);
            }
        }
        StoreInRing(chunk, n);
    }

    // Forgets the ring and any half-received frame.
    void Reset();

    // Bytes received since the last 0x7E, counting it; kNoFrame when no frame is open.
    uint16_t FrameCount() const { return frameCount_; }
    // Ring position of the next byte.
    uint16_t WriteIndex() const { return writeIndex_; }

private:
    // Processes chunk bytes from `pos` up to and including the next 0x7F (or to the end);
    // returns the position after them. Sets `produced` when that 0x7F completed a frame,
    // decoded into packet_. Reads bytes of earlier chunks from the ring, which StoreInRing
    // brings up to date once the whole chunk is processed.
    size_t ScanFrom(const uint8_t* chunk, size_t n, size_t pos, bool& produced);
    void StoreInRing(const uint8_t* chunk, size_t n);

    std::array<uint8_t, kRingSize> ring_ = {};
    uint16_t writeIndex_ = 0;
    uint16_t frameCount_ = kNoFrame;
    // A span holds at most kRingSize bytes, so its packet is shorter than that.
    std::array<uint8_t, kRingSize> packet_ = {};
    size_t packetLength_ = 0;
};

}  // namespace tarvu
