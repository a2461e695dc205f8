#include "link/frame_codec.h"

#include <algorithm>
#include <cstring>

namespace tarvu {
namespace {

constexpr std::array<uint8_t, 256> MakeReservedTable() {
    std::array<uint8_t, 256> table = {};
    for (size_t b = 0; b < 0x20; ++b) {
        table[b] = 1;
    }
    table[0x2B] = table[0x7D] = table[0x7E] = table[0x7F] = table[0xFF] = 1;
    return table;
}

constexpr std::array<uint8_t, 256> kReserved = MakeReservedTable();

// Decoder byte classes as bits, looked up rather than compared so that the compiler keeps the
// unescaping loop free of data-dependent branches: bit 0 escape, bit 1 delimiter.
constexpr std::array<uint8_t, 256> MakeDecodeClassTable() {
    std::array<uint8_t, 256> table = {};
    table[kFrameEscape] = 1;
    table[kFrameStart] = table[kFrameEnd] = 2;
    return table;
}

constexpr std::array<uint8_t, 256> kDecodeClass = MakeDecodeClassTable();

uint16_t SaturatingAdd(uint16_t count, size_t add) {
    if (count == FrameDecoder::kNoFrame) {
        return count;
    }
    return static_cast<uint16_t>(std::min<size_t>(size_t{count} + add, FrameDecoder::kNoFrame));
}

// Undoes the escapes of a span handed over in pieces. The span's opening 0x7E and closing
// 0x7F are dropped like any unescaped delimiter; a pending escape takes the next byte whatever
// it is. Branch-free: every byte is stored at out[length] and only kept bytes advance it.
struct Unescaper {
    uint8_t* out;
    size_t length = 0;
    bool pending = false;

    void Run(const uint8_t* span, size_t n) {
        size_t j = length;
        unsigned esc = pending ? 1u : 0u;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t c = span[i];
            out[j] = static_cast<uint8_t>(c ^ (esc * kFrameEscapeXor));
            const unsigned free = esc ^ 1u;
            const unsigned cls = kDecodeClass[c];
            const unsigned startsEscape = free & cls;
            const unsigned delimiter = free & (cls >> 1);
            j += 1u ^ (startsEscape | delimiter);
            esc = startsEscape;
        }
        length = j;
        pending = esc != 0;
    }
};

}  // namespace

bool IsReservedFrameByte(uint8_t b) {
    return kReserved[b] != 0;
}

size_t FrameEncode(uint8_t* out, const uint8_t* in, size_t n) {
    out[0] = kFrameStart;
    size_t j = 1;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = in[i];
        const uint8_t reserved = kReserved[b];
        // Both bytes of an escape are written every time; for a plain byte the second one
        // lands where the next byte (or the closing 0x7F) goes, so nothing past the frame is
        // touched.
        out[j] = reserved ? kFrameEscape : b;
        out[j + 1] = static_cast<uint8_t>(b ^ kFrameEscapeXor);
        j += 1 + reserved;
    }
    out[j] = kFrameEnd;
    return j + 1;
}

void FrameDecoder::Reset() {
    ring_.fill(0);
    writeIndex_ = 0;
    frameCount_ = kNoFrame;
    packetLength_ = 0;
}

size_t FrameDecoder::ScanFrom(const uint8_t* chunk, size_t n, size_t pos, bool& produced) {
    const uint8_t* const base = chunk + pos;
    const size_t rest = n - pos;
    const auto* end = static_cast<const uint8_t*>(std::memchr(base, kFrameEnd, rest));
    const size_t segment = end ? static_cast<size_t>(end - base) : rest;

    // Only the last 0x7E before the 0x7F (or the chunk's end) matters: each one restarts the
    // count at 1.
    const uint8_t* lastStart = nullptr;
    for (const uint8_t* from = base; from < base + segment;) {
        const auto* hit = static_cast<const uint8_t*>(
            std::memchr(from, kFrameStart, static_cast<size_t>(base + segment - from)));
        if (!hit) {
            break;
        }
        lastStart = hit;
        from = hit + 1;
    }
    if (lastStart) {
        frameCount_ = SaturatingAdd(0, static_cast<size_t>(base + segment - lastStart));
    } else {
        frameCount_ = SaturatingAdd(frameCount_, segment);
    }
    if (!end) {
        return n;
    }

    frameCount_ = SaturatingAdd(frameCount_, 1);
    const size_t endIndex = pos + segment;
    if (frameCount_ <= kRingSize) {
        // The span is the last frameCount_ bytes of the stream: the older part still sits in
        // the ring (which holds the 512 bytes before this chunk), the rest in the chunk.
        const size_t span = frameCount_;
        const size_t inChunk = std::min(span, endIndex + 1);
        const size_t fromRing = span - inChunk;
        Unescaper unescaper{packet_.data()};
        if (fromRing > 0) {
            const size_t start = (writeIndex_ + kRingSize - fromRing) % kRingSize;
            const size_t first = std::min(fromRing, kRingSize - start);
            unescaper.Run(ring_.data() + start, first);
            unescaper.Run(ring_.data(), fromRing - first);
        }
        unescaper.Run(chunk + endIndex + 1 - inChunk, inChunk);
        packetLength_ = unescaper.length;
        produced = true;
        frameCount_ = kNoFrame;
    }
    return endIndex + 1;
}

void FrameDecoder::StoreInRing(const uint8_t* chunk, size_t n) {
    if (n == 0) {
        return;
    }
    const size_t kept = std::min<size_t>(n, kRingSize);
    const size_t at = (writeIndex_ + (n - kept) % kRingSize) % kRingSize;
    const uint8_t* src = chunk + (n - kept);
    const size_t first = std::min(kept, kRingSize - at);
    std::memcpy(ring_.data() + at, src, first);
    std::memcpy(ring_.data(), src + first, kept - first);
    writeIndex_ = static_cast<uint16_t>((writeIndex_ + n % kRingSize) % kRingSize);
}

}  // namespace tarvu
