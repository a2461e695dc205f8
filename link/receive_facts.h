#pragma once
// What the system told about the datagram being handed to the link protocol, for the trace.
//
// The engine's TraceData callback has no room for these facts, so they travel beside it: the
// transport's worker sets them for the thread while it delivers one datagram, and the trace
// callback, which the receive path calls on that same thread, reads them. Two further notes
// reach the application without any trace call of the engine: a datagram of no bytes (which
// the link protocol never sees) and the datagrams the system dropped after the last one
// delivered (known only when the channel closes).

#include "link/ns_address.h"

#include <cstdint>

namespace tarvu {

struct ReceiveFacts {
    int64_t receivedMicros = 0;  // when it reached the socket (system clock, µs); 0 unknown
    uint32_t wireLength = 0;     // its length as it arrived; 0 unknown
    uint32_t droppedBefore = 0;  // datagrams the system dropped on the socket just before it
};

// The facts of the datagram the calling thread delivers now, or null.
const ReceiveFacts* CurrentReceiveFacts();

// Sets the calling thread's facts for its lifetime.
class ReceiveFactsScope {
public:
    explicit ReceiveFactsScope(const ReceiveFacts& facts);
    ~ReceiveFactsScope();
    ReceiveFactsScope(const ReceiveFactsScope&) = delete;
    ReceiveFactsScope& operator=(const ReceiveFactsScope&) = delete;

private:
    const ReceiveFacts* previous_;
};

// The application's receivers of the two notes; either may be null. Called on the worker (an
// empty datagram) and on the thread that closes the channel (drops after the last datagram).
struct ReceiveNoteHandlers {
    void (*EmptyDatagram)(const nsAddress& sender, const ReceiveFacts& facts) = nullptr;
    void (*DroppedAfterLast)(uint32_t count) = nullptr;
};

// Process-wide, like the engine's callbacks: set before channels open, cleared after they close.
void SetReceiveNoteHandlers(const ReceiveNoteHandlers& handlers);
void NoteEmptyDatagram(const nsAddress& sender, const ReceiveFacts& facts);
void NoteDroppedAfterLast(uint32_t count);

}  // namespace tarvu
