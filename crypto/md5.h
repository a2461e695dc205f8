#pragma once
// MD5 message digest (RFC 1321): start, absorb bytes, finish into 16 bytes.

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvu {

using Md5Digest = std::array<uint8_t, 16>;

struct Md5Context {
    std::array<uint32_t, 4> state{};
    uint64_t totalBytes = 0;
    std::array<uint8_t, 64> pending{};  // the first totalBytes % 64 bytes are an unfinished block
};

void Md5Init(Md5Context& ctx);
void Md5Update(Md5Context& ctx, const uint8_t* data, size_t length);
// Pads, writes the digest and leaves the context to be started afresh with Md5Init.
void Md5Final(Md5Context& ctx, Md5Digest& digest);

Md5Digest Md5(const uint8_t* data, size_t length);

}  // namespace tarvu
