#include "link/link_channel.h"
#include "link/link_channel_state.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

namespace tarvu {
namespace {

// The one packet the user typed last. The Send command writes it and QueueUserPacket reads it;
// both normally run on the user-interface thread, the lock keeps other callers safe.
struct UserPacketBuffer {
    std::mutex mutex;
    std::array<uint8_t, LinkPacket::kCapacity> bytes = {};
    uint16_t length = 0;
};

UserPacketBuffer& TheUserPacket() {
    static UserPacketBuffer buffer;
    return buffer;
}

}  // namespace

void StoreUserPacket(const uint8_t* bytes, uint16_t count) {
    UserPacketBuffer& buffer = TheUserPacket();
    // A link packet holds at most its capacity; longer input keeps its first bytes.
    const size_t n = bytes != nullptr ? std::min<size_t>(count, buffer.bytes.size()) : 0;
    const std::lock_guard<std::mutex> lock(buffer.mutex);
    if (n > 0) {
        std::memcpy(buffer.bytes.data(), bytes, n);
    }
    buffer.length = static_cast<uint16_t>(n);
}

void LinkChannel::SetUserPacketPending(bool pending) {
    state_->userPacketPending.store(pending ? 1u : 0u);
}

void LinkChannel::QueueUserPacket() {
    State& s = *state_;
    if (s.userPacketPending.load() != 1) {
        return;
    }
    std::unique_ptr<LinkPacket> packet;
    {
        UserPacketBuffer& buffer = TheUserPacket();
        const std::lock_guard<std::mutex> lock(buffer.mutex);
        packet =
            std::make_unique<LinkPacket>(LinkPacket::Parse(buffer.bytes.data(), buffer.length));
    }
    packet->wait = s.Parameter(kUserPacketWait);
    packet->accounted = 0;
    // Ahead of everything the engine queued itself.
    s.sendQueue.PushFront(std::move(packet));
    s.transport.PostTimerSend();
    s.userPacketPending.store(0);
}

}  // namespace tarvu
