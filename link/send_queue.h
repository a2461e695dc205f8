#pragma once
// A channel's send queue: packets waiting for the send step, head first. The user-interface
// thread inserts; the send step on the worker reads the head and removes exactly the packet it
// sent. The lock is held only inside these calls, never across a wait.

#include "link/link_packet.h"

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>

namespace tarvu {

class SendQueue {
public:
    void PushFront(std::unique_ptr<LinkPacket> packet);
    void PushBack(std::unique_ptr<LinkPacket> packet);

    // The packet at the head, or null. It stays owned by the queue. Only the send step removes
    // packets, so the packet it took stays valid (and unchanged) until it removes it, even if
    // other packets are inserted in front of it meanwhile.
    const LinkPacket* Head() const;

    // Takes `packet` out of the queue wherever it now stands; null if it is not queued.
    std::unique_ptr<LinkPacket> Remove(const LinkPacket* packet);

    bool Empty() const;
    size_t Size() const;
    // Packets that the user queued (not accounted): what is left of the user's sends.
    size_t UserPackets() const;

private:
    mutable std::mutex mutex_;
    // Nodes keep their address while others are inserted or removed.
    std::list<std::unique_ptr<LinkPacket>> packets_;
};

}  // namespace tarvu
