#pragma once
// Per-device bookkeeping of a channel: the send step's counters by packet class and the
// request the cycle builder sends when it visits the device.

#include <cstddef>
#include <cstdint>

namespace tarvu {

// Devices per channel, the same for every channel; entry i belongs to device address i + 1.
constexpr size_t kDeviceCount = 32;

// Device states that ask the cycle builder for a request on its next visit.
constexpr uint8_t kDeviceIdle = 0;
constexpr uint8_t kDeviceRequestClass4 = 4;
constexpr uint8_t kDeviceRequestClass5 = 5;
constexpr uint8_t kDeviceKeyExchange = 6;

// Kinds of the last class-3 packet sent to a device.
constexpr uint8_t kLastKindPoll = 0x01;
constexpr uint8_t kLastKindMessage = 0x10;

// Held in memory only, so the fields keep their natural alignment (the 15-byte record of the
// wire-era layout has six unused bytes at the end that nothing reads).
struct DeviceState {
    uint8_t state = kDeviceIdle;
    uint8_t class5Count = 0;  // the counters are 8-bit and wrap: 0 - 1 = 255
    uint8_t class4Count = 0;
    uint8_t class3Count = 0;
    uint32_t messagePending = 0;  // 1 from queueing a fetched message until its first send
    uint8_t lastKind = 0;
};

}  // namespace tarvu
