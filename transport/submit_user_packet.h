#pragma once
// Hands the packet the user typed to the link protocol of channel 1.

#include <cstdint>

namespace tarvu {

constexpr uint16_t kUserPacketMaxBytes = 512;
constexpr int kUserPacketTooLong = 1;

// Copies the bytes into the user-packet buffer and, when channel 1 is open, queues them as a
// user packet at the head of its send queue. Returns 0, also when no channel is open; a packet
// longer than kUserPacketMaxBytes is refused whole with kUserPacketTooLong (nothing is stored
// or sent) and the caller tells the user.
int SubmitUserPacket(const uint8_t* bytes, uint16_t count);

}  // namespace tarvu
