#pragma once
// The header statements both languages share: where the link goes and how packets travel.
//   to ADDRESS:PORT     the peer (a scenario's converter; a simulator's first receiver)
//   serial DEVICE BAUD  a serial line instead of UDP
//   listen PORT         the local UDP port
//   frame on|off        7E ... 7F frames with escapes, or packets as they are
//   key HEX             a GOST channel key (64 hex digits): packets leave encrypted and
//                       encrypted packets are decrypted before they are matched
// A statement left out takes the value from the command line or the settings file.

#include "scenario/source_text.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tarvu::scenario {

struct Destination {
    uint32_t address = 0;  // network byte order
    uint16_t port = 0;
};

struct SerialLine {
    std::string device;
    uint32_t baudRate = 0;
};

struct LinkSettings {
    std::optional<Destination> to;
    std::optional<SerialLine> serial;
    std::optional<uint16_t> listen;
    std::optional<bool> frame;
    std::optional<std::array<uint8_t, 32>> key;
};

// The longest serial device path a channel record holds.
constexpr size_t kMaxSerialDevice = 127;

enum class HeaderResult { kNotHeader, kRead, kFailed };

// Reads `line` when its keyword is one of the statements above. `listenZero` allows listen 0
// (any free port). A statement given twice, and serial with listen, are refused.
HeaderResult ParseLinkStatement(const SourceLine& line, bool listenZero, LinkSettings& link,
                                Failure& failure);

// "ADDRESS:PORT" with a port from 1 to 65535.
bool ParseDestination(std::string_view text, size_t offset, Destination& out, Failure& failure);

}  // namespace tarvu::scenario
