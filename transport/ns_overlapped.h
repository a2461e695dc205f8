#pragma once
// The operation record of the transport and its kinds.

#include "platform/completion_port.h"
#include "platform/socket_address.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace tarvu {

// Operation kinds; the worker prints their names.
enum nsOperationKind : uint32_t {
    nsIOT_ERROR = 0,     // a record whose kind was never set
    nsIOT_QUIT = 1,      // the worker thread that takes it ends
    nsIOT_RECV = 2,      // data received
    nsIOT_WAITCOMM = 3,  // a serial line has characters waiting
    nsIOT_SEND = 4,      // an overlapped send finished
    nsT_TIMER_SEND = 5,  // run the channel's send step
};

constexpr size_t kReceiveAreaSize = 500;
// An overlapped send keeps its own copy of the datagram here until its completion has been
// taken: the largest frame of a 512-byte packet, every byte escaped, between 7E and 7F.
constexpr size_t kSendAreaSize = 1026;

// One outstanding operation. Zero-filled every time it is taken from a free list.
struct nsOverlapped {
    Overlapped overlapped;   // first: the completion port hands this header back
    nsOverlapped* next;      // link in the driver's free list
    SocketAddressV4 peer;    // source of a received datagram, destination of a send
    uint32_t addressLength;  // 16 before every receive
    uint32_t kind;
    uint32_t tag;        // given by whoever takes the record; nothing reads it back
    uint32_t eventMask;  // serial event wait
    uint8_t data[kReceiveAreaSize];
    uint32_t sendLength;
    uint8_t sendData[kSendAreaSize];
};

// The record is found from its header by address, which needs the header first in a
// standard-layout record.
static_assert(std::is_standard_layout_v<nsOverlapped>);
static_assert(offsetof(nsOverlapped, overlapped) == 0);

inline nsOverlapped* RecordOf(Overlapped* header) {
    return reinterpret_cast<nsOverlapped*>(header);
}

}  // namespace tarvu
