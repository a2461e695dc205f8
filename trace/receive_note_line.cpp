#include "trace/receive_note_line.h"

#include <string_view>

namespace tarvu {
namespace {

constexpr std::string_view kNotePrefix = "                               ...! ";
static_assert(kNotePrefix.size() == kTracePrefixWidth + 2);

}  // namespace

void AppendDroppedLine(std::string& out, uint64_t count, bool afterLast) {
    out += kNotePrefix;
    out += std::to_string(count);
    out += count == 1 ? " datagram dropped by the system" : " datagrams dropped by the system";
    out += afterLast ? " after the last one received\n" : " here\n";
}

void AppendCutLine(std::string& out, uint32_t wireLength, size_t kept) {
    out += kNotePrefix;
    out += "cut: ";
    out += std::to_string(wireLength);
    out += " bytes arrived, ";
    out += std::to_string(kept);
    out += " kept\n";
}

void ApplyReceiveFacts(TraceBlock& block, const ReceiveFacts& facts) {
    block.receivedMicros = facts.receivedMicros;
    if (block.stage == 0) {
        block.wireLength = facts.wireLength > block.length ? facts.wireLength : 0;
        block.droppedBefore = facts.droppedBefore;
    }
}

}  // namespace tarvu
