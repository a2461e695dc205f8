#include "link/frame_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace tarvu {
namespace {

using Bytes = std::vector<uint8_t>;
using Packets = std::vector<Bytes>;

Bytes Encode(const Bytes& in) {
    Bytes out(FrameAreaSize(in.size()));
    out.resize(FrameEncode(out.data(), in.data(), in.size()));
    return out;
}

Packets Feed(FrameDecoder& decoder, const Bytes& chunk) {
    Packets got;
    decoder.Feed(chunk.data(), chunk.size(),
                 [&got](const uint8_t* p, size_t n) { got.emplace_back(p, p + n); });
    return got;
}

Packets DecodeOnce(const Bytes& stream) {
    FrameDecoder decoder;
    return Feed(decoder, stream);
}

// The decoder as a byte-at-a-time state machine over a 512-byte ring, the way the line
// protocol defines it.
class ReferenceDecoder {
public:
    Packets Feed(const Bytes& chunk) {
        Packets got;
        for (uint8_t c : chunk) {
            ring_[writeIndex_] = c;
            if (frameCount_ < 0xFFFF) {
                ++frameCount_;
            }
            if (c == 0x7E) {
                frameCount_ = 1;
            } else if (c == 0x7F && frameCount_ <= 512) {
                Bytes span;
                for (size_t k = frameCount_; k-- > 0;) {
                    span.push_back(ring_[(writeIndex_ + 512 - k) % 512]);
                }
                Bytes packet;
                for (size_t i = 0; i < span.size(); ++i) {
                    if (span[i] == 0x7D && i + 1 < span.size()) {
                        packet.push_back(static_cast<uint8_t>(span[++i] ^ 0x40));
                    } else if (span[i] != 0x7E && span[i] != 0x7F) {
                        packet.push_back(span[i]);
                    }
                }
                got.push_back(packet);
                frameCount_ = 0xFFFF;
            }
            writeIndex_ = (writeIndex_ + 1) % 512;
        }
        return got;
    }
    size_t frameCount_ = 0xFFFF;
    size_t writeIndex_ = 0;

private:
    uint8_t ring_[512] = {};
};

TEST(FrameEncode, EscapesReservedBytes) {
    EXPECT_EQ(Encode({0x11, 0x01, 0x00, 0x30, 0x10, 0xA3, 0x01, 0x00, 0xD1}),
              (Bytes{0x7E, 0x7D, 0x51, 0x7D, 0x41, 0x7D, 0x40, 0x30, 0x7D, 0x50, 0xA3, 0x7D, 0x41,
                     0x7D, 0x40, 0xD1, 0x7F}));
    EXPECT_EQ(Encode({}), (Bytes{0x7E, 0x7F}));
    EXPECT_EQ(Encode({0x7E, 0x7D, 0x7F, 0xFF, 0x2B, 0x1F, 0x20, 0x2A, 0x2C, 0x7C, 0x80, 0xFE}),
              (Bytes{0x7E, 0x7D, 0x3E, 0x7D, 0x3D, 0x7D, 0x3F, 0x7D, 0xBF, 0x7D,
                     0x6B, 0x7D, 0x5F, 0x20, 0x2A, 0x2C, 0x7C, 0x80, 0xFE, 0x7F}));

    // All 256 values: 37 are escaped (below 20, 2B, 7D, 7E, 7F, FF) and all come back.
    Bytes all(256);
    for (size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<uint8_t>(i);
    }
    const Bytes frame = Encode(all);
    EXPECT_EQ(frame.size(), 256u + 2 + 37);
    EXPECT_EQ(DecodeOnce(frame), (Packets{all}));

    // Nothing is written past the frame, even with room for FrameAreaSize(n).
    const Bytes in = {0x41, 0x42, 0x00, 0x43};
    Bytes out(FrameAreaSize(in.size()), 0xEE);
    EXPECT_EQ(FrameEncode(out.data(), in.data(), in.size()), 7u);
    EXPECT_EQ(out, (Bytes{0x7E, 0x41, 0x42, 0x7D, 0x40, 0x43, 0x7F, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(kFrameAreaSize, 1026u);
}

TEST(FrameDecoder, DecodesTheDocumentedCases) {
    EXPECT_EQ(DecodeOnce({0x7E, 0x41, 0x7D, 0x3E, 0x42, 0x7F}), (Packets{{0x41, 0x7E, 0x42}}));
    EXPECT_EQ(DecodeOnce({0x7E, 0x41, 0x7E, 0x42, 0x7F}), (Packets{{0x42}}));
    EXPECT_EQ(DecodeOnce({0x41, 0x42, 0x7F}), Packets{});
    EXPECT_EQ(DecodeOnce({0x7E, 0x41, 0x7D, 0x7F}), (Packets{{0x41, 0x3F}}));
    EXPECT_EQ(DecodeOnce({0x7E, 0x41, 0x7F, 0x7E, 0x42, 0x7F}), (Packets{{0x41}, {0x42}}));
    EXPECT_EQ(DecodeOnce({0x7E, 0x7F}), (Packets{{}}));
    // Escapes are undone whatever they hold; unescaped reserved bytes pass.
    EXPECT_EQ(DecodeOnce({0x7E, 0x7D, 0x7D, 0x00, 0x2B, 0x7F}), (Packets{{0x3D, 0x00, 0x2B}}));
    // A 0x7F consumed by an escape closes nothing more; the next 0x7F has no open frame.
    EXPECT_EQ(DecodeOnce({0x7E, 0x7D, 0x7F, 0x7F}), (Packets{{0x3F}}));
}

TEST(FrameDecoder, FramesSpanChunks) {
    FrameDecoder decoder;
    EXPECT_EQ(Feed(decoder, {0x7E, 0x41}), Packets{});
    EXPECT_EQ(decoder.FrameCount(), 2);
    EXPECT_EQ(Feed(decoder, {0x42, 0x7F}), (Packets{{0x41, 0x42}}));
    EXPECT_EQ(decoder.FrameCount(), FrameDecoder::kNoFrame);
    EXPECT_EQ(decoder.WriteIndex(), 4);

    // An escape split from its byte, and nothing for an empty chunk.
    EXPECT_EQ(Feed(decoder, {0x7E, 0x7D}), Packets{});
    EXPECT_EQ(Feed(decoder, {}), Packets{});
    EXPECT_EQ(Feed(decoder, {0x5E, 0x7F, 0x7E}), (Packets{{0x1E}}));
    EXPECT_EQ(Feed(decoder, {0x7F}), (Packets{{}}));

    decoder.Feed(nullptr, 0, [](const uint8_t*, size_t) { FAIL(); });
    Feed(decoder, {0x7E, 0x41});
    decoder.Reset();
    EXPECT_EQ(Feed(decoder, {0x7F}), Packets{});
    EXPECT_EQ(decoder.WriteIndex(), 1);
}

TEST(FrameDecoder, SpanLimitIsTheRing) {
    // Span = 7E + body + 7F. 512 bytes fit, 513 do not; the limit holds across chunks and
    // ring wrap-around too.
    for (size_t prefix : {0u, 100u, 511u}) {
        for (size_t split : {1u, 255u, 510u}) {
            FrameDecoder decoder;
            Feed(decoder, Bytes(prefix, 0x41));
            Bytes fits(512, 0x42);
            fits.front() = 0x7E;
            fits.back() = 0x7F;
            Bytes tooLong(513, 0x43);
            tooLong.front() = 0x7E;
            tooLong.back() = 0x7F;
            Packets got = Feed(decoder, Bytes(fits.begin(), fits.begin() + split));
            Packets rest = Feed(decoder, Bytes(fits.begin() + split, fits.end()));
            got.insert(got.end(), rest.begin(), rest.end());
            ASSERT_EQ(got, (Packets{Bytes(510, 0x42)})) << prefix << " " << split;
            EXPECT_EQ(Feed(decoder, tooLong), Packets{});
            EXPECT_EQ(decoder.FrameCount(), 513);  // still counting after the dropped frame
            EXPECT_EQ(Feed(decoder, {0x7E, 0x44, 0x7F}), (Packets{{0x44}}));
        }
    }
}

TEST(FrameDecoder, FrameCountSaturates) {
    FrameDecoder decoder;
    EXPECT_EQ(decoder.FrameCount(), FrameDecoder::kNoFrame);
    Bytes stream(70000, 0x41);
    stream[0] = 0x7E;
    Feed(decoder, stream);
    EXPECT_EQ(decoder.FrameCount(), FrameDecoder::kNoFrame);
    EXPECT_EQ(decoder.WriteIndex(), 70000 % 512);
    EXPECT_EQ(Feed(decoder, {0x7F}), Packets{});
    EXPECT_EQ(Feed(decoder, {0x7E, 0x7F}), (Packets{{}}));
}

Bytes RandomStream(std::mt19937& rng, size_t n) {
    // Mostly delimiters and escapes, with long quiet runs now and then so that spans pass
    // the ring size.
    static const uint8_t kBiased[] = {0x7E, 0x7F, 0x7D, 0x41, 0x3E, 0x00};
    Bytes b(n);
    for (size_t i = 0; i < n;) {
        if (rng() % 40 == 0) {
            const size_t run = std::min<size_t>(n - i, rng() % 700);
            for (size_t k = 0; k < run; ++k) {
                b[i++] = static_cast<uint8_t>(0x80 + rng() % 0x70);
            }
            continue;
        }
        b[i++] = rng() % 2 ? kBiased[rng() % std::size(kBiased)] : static_cast<uint8_t>(rng());
    }
    return b;
}

TEST(FrameDecoder, MatchesTheReferenceOnAnyStreamInAnyChunks) {
    std::mt19937 rng(42);
    size_t frames = 0;
    for (int round = 0; round < 200; ++round) {
        const Bytes stream = RandomStream(rng, 1 + rng() % 5000);
        FrameDecoder decoder;
        ReferenceDecoder reference;
        for (size_t pos = 0; pos < stream.size();) {
            const size_t n =
                std::min<size_t>(stream.size() - pos, rng() % 3 ? rng() % 64 : rng() % 1200);
            const Bytes chunk(stream.begin() + static_cast<long>(pos),
                              stream.begin() + static_cast<long>(pos + n));
            pos += n;
            const Packets want = reference.Feed(chunk);
            ASSERT_EQ(Feed(decoder, chunk), want) << "round " << round << " at " << pos;
            ASSERT_EQ(decoder.FrameCount(), reference.frameCount_);
            ASSERT_EQ(decoder.WriteIndex(), reference.writeIndex_);
            frames += want.size();
        }
    }
    EXPECT_GT(frames, 1000u);
}

TEST(FrameDecoder, RoundTripsRandomPacketsSplitAnywhere) {
    std::mt19937 rng(7);
    Packets sent;
    Packets expected;
    Bytes stream = {0x41, 0x7F, 0x7D};  // line noise before the first frame
    for (int i = 0; i < 400; ++i) {
        Bytes packet(rng() % 2 ? rng() % 40 : rng() % 513);
        for (uint8_t& b : packet) {
            b = static_cast<uint8_t>(rng());
        }
        const Bytes frame = Encode(packet);
        if (frame.size() <= FrameDecoder::kRingSize) {
            expected.push_back(packet);
        }
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    ASSERT_GT(expected.size(), 200u);
    ASSERT_LT(expected.size(), 400u);  // some frames exceeded the ring and must be dropped

    FrameDecoder decoder;
    Packets got;
    for (size_t pos = 0; pos < stream.size();) {
        const size_t n = std::min<size_t>(stream.size() - pos, 1 + rng() % 900);
        decoder.Feed(stream.data() + pos, n,
                     [&got](const uint8_t* p, size_t len) { got.emplace_back(p, p + len); });
        pos += n;
    }
    EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace tarvu
