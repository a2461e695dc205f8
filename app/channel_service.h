#pragma once
// What the application logic asks of the transport: open and close its channel, see whether
// it is open, and hand it the user's packet. The engine's transport is the real one; tests
// use a fake that records the calls.

#include "link/engine_config.h"
#include "platform/udp_socket.h"

#include <cstddef>
#include <cstdint>

namespace tarvu {

class ChannelService {
public:
    virtual ~ChannelService() = default;
    // OpenChannel's result: -1 when the network cannot be used at all, otherwise 0, also when
    // nothing was opened (the transport reports that itself; IsOpen tells).
    virtual int Open(ChannelRequest& request) = 0;
    virtual void Close(ChannelRequest& request) = 0;
    // Why the last Open left no channel because the read port could not be bound; kNone when
    // it opened or failed for another reason.
    virtual BindFailure LastOpenBindFailure() const { return BindFailure::kNone; }
    virtual bool IsOpen(uint8_t channelNumber) const = 0;
    // Queues the bytes on channel 1 when it is open; always 0.
    virtual int SubmitUserPacket(const uint8_t* bytes, uint16_t count) = 0;
    // Posts one send step on the open channel, whose cycle builder refills an empty queue.
    virtual void PostSendStep(uint8_t /*channelNumber*/) {}
    // Send steps posted on the open channel that the worker has not taken yet.
    virtual uint32_t PendingSendSteps(uint8_t /*channelNumber*/) const { return 0; }
    // User packets still waiting in the open channel's send queue.
    virtual size_t QueuedUserPackets(uint8_t /*channelNumber*/) const { return 0; }
    // Opens a key exchange on the open channel: every packet then carries its public key.
    virtual void BeginKeyExchange(uint8_t /*channelNumber*/) {}
};

// The engine's transport.
ChannelService& TransportChannels();

}  // namespace tarvu
