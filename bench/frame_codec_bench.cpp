// Frame encoder and decoder throughput, with a plain memcpy of the same bytes for scale.
// Byte counters are input bytes: packet bytes for encoding, frame bytes for decoding.

#include "link/frame_codec.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace tarvu {
namespace {

constexpr size_t kPacketLength = 500;

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(rng());
    }
    return bytes;
}

std::vector<uint8_t> ReservedBytes(size_t n) {
    std::vector<uint8_t> reserved;
    for (unsigned b = 0; b < 256; ++b) {
        if (IsReservedFrameByte(static_cast<uint8_t>(b))) {
            reserved.push_back(static_cast<uint8_t>(b));
        }
    }
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = reserved[i % reserved.size()];
    }
    return bytes;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& packet) {
    std::vector<uint8_t> frame(FrameAreaSize(packet.size()));
    frame.resize(FrameEncode(frame.data(), packet.data(), packet.size()));
    return frame;
}

// Frames of packets cut from `source`, each as long as still fits the decoder's 512-byte
// span, so that every frame is decoded rather than dropped.
std::vector<std::vector<uint8_t>> FittingFrames(const std::vector<uint8_t>& source, size_t count) {
    std::vector<std::vector<uint8_t>> frames;
    size_t at = 0;
    while (frames.size() < count) {
        std::vector<uint8_t> packet;
        size_t frameLength = 2;
        while (true) {
            const uint8_t b = source[at % source.size()];
            const size_t cost = IsReservedFrameByte(b) ? 2 : 1;
            if (frameLength + cost > FrameDecoder::kRingSize) {
                break;
            }
            packet.push_back(b);
            frameLength += cost;
            ++at;
        }
        frames.push_back(Encode(packet));
    }
    return frames;
}

void BM_Memcpy(benchmark::State& state) {
    const std::vector<uint8_t> in = RandomBytes(kPacketLength, 1);
    std::vector<uint8_t> out(kFrameAreaSize);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), in.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(BM_Memcpy);

void EncodeLoop(benchmark::State& state, const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out(kFrameAreaSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FrameEncode(out.data(), in.data(), in.size()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_FrameEncodeRandom(benchmark::State& state) {
    EncodeLoop(state, RandomBytes(kPacketLength, 2));
}
BENCHMARK(BM_FrameEncodeRandom);

void BM_FrameEncodeAllReserved(benchmark::State& state) {
    EncodeLoop(state, ReservedBytes(kPacketLength));
}
BENCHMARK(BM_FrameEncodeAllReserved);

// One Feed per frame, as a datagram per frame arrives on the line.
void DecodeLoop(benchmark::State& state, const std::vector<std::vector<uint8_t>>& frames) {
    FrameDecoder decoder;
    size_t bytes = 0;
    size_t packets = 0;
    size_t next = 0;
    for (auto _ : state) {
        const std::vector<uint8_t>& frame = frames[next];
        next = (next + 1) % frames.size();
        decoder.Feed(frame.data(), frame.size(), [&packets](const uint8_t* p, size_t n) {
            benchmark::DoNotOptimize(p);
            packets += n > 0 ? 1 : 0;
        });
        bytes += frame.size();
    }
    if (packets != static_cast<size_t>(state.iterations())) {
        state.SkipWithError("a frame was not decoded");
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_FrameDecodeRandom(benchmark::State& state) {
    DecodeLoop(state, FittingFrames(RandomBytes(1 << 16, 3), 64));
}
BENCHMARK(BM_FrameDecodeRandom);

void BM_FrameDecodeAllReserved(benchmark::State& state) {
    DecodeLoop(state, FittingFrames(ReservedBytes(1 << 12), 8));
}
BENCHMARK(BM_FrameDecodeAllReserved);

// A 500-byte datagram of random bytes: line noise the decoder scans but mostly drops.
void BM_FrameDecodeNoise(benchmark::State& state) {
    const std::vector<uint8_t> noise = RandomBytes(kPacketLength, 4);
    FrameDecoder decoder;
    for (auto _ : state) {
        decoder.Feed(noise.data(), noise.size(),
                     [](const uint8_t* p, size_t) { benchmark::DoNotOptimize(p); });
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * noise.size()));
}
BENCHMARK(BM_FrameDecodeNoise);

}  // namespace
}  // namespace tarvu

BENCHMARK_MAIN();
