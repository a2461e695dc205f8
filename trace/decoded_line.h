#pragma once
// Lines that say what a traced block means, written below its trace line with the filler of
// continuation lines so that they line up under the arrows:
//   "<filler>= dev=01 addr2=00 type=30 qual=10 code=A3(ca_RELOCK) body=01 00 D1 reply=12ms"
//   "<filler>= new sender 010.000.000.002:10003"

#include "link/packet_decode.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tarvu {

// Appends the decoded line of `bytes`, ending in "\n". `replyMs` ends it as "reply=<ms>ms".
void AppendDecodedLine(std::string& out, std::span<const uint8_t> bytes,
                       std::optional<uint32_t> replyMs = std::nullopt);

// Appends "<filler>= new sender <address>:<port>\n"; the address is in network byte order and
// printed as the trace prints peers.
void AppendNewSenderLine(std::string& out, uint32_t address, uint16_t port);

// The peer as the trace prints it: "010.000.000.001:10001".
std::string FormatPeer(uint32_t address, uint16_t port);

}  // namespace tarvu
