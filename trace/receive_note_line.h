#pragma once
// Lines that say what the system did to received datagrams, in the form of the trace's other
// explaining lines (the continuation filler, then a mark), so that they line up with them:
//   "<filler>! 12 datagrams dropped by the system here"   (before the datagram after the gap)
//   "<filler>! cut: 528 bytes arrived, 500 kept"            (after the line of a cut datagram)

#include "link/receive_facts.h"
#include "trace/trace_line.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvu {

// Appends the gap line, ending in "\n". `afterLast`: the gap followed the last datagram (the
// channel closed before another one came).
void AppendDroppedLine(std::string& out, uint64_t count, bool afterLast = false);

// Appends the line of a datagram that arrived longer than the bytes kept, ending in "\n".
void AppendCutLine(std::string& out, uint32_t wireLength, size_t kept);

// Copies what the system told about a received datagram into the block the trace describes:
// the receive time to every block of it, the cut length and the gap to its own (stage 0) line.
void ApplyReceiveFacts(TraceBlock& block, const ReceiveFacts& facts);

}  // namespace tarvu
