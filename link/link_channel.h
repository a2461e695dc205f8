#pragma once
// The link-protocol state of one open channel and its receive and send routines.
// The transport's cnsLibnetProvider owns one of these and reaches the wire for it through
// LinkTransport; the engine reaches the application through the callbacks of EngineConfig.

#include "link/engine_config.h"
#include "link/link_transport.h"
#include "link/ns_address.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tarvu {

class LinkPacket;

class LinkChannel {
public:
    // `transport` outlives the channel. Takes the link parameters from the active engine
    // configuration and the cipher state and key as the engine's accept rule says.
    LinkChannel(const ChannelRequest& request, LinkTransport& transport);
    ~LinkChannel();
    LinkChannel(const LinkChannel&) = delete;
    LinkChannel& operator=(const LinkChannel&) = delete;

    const ChannelRequest& Request() const;
    uint16_t ChannelNumber() const;

    // The converter's address as last remembered (already-open check of the transport).
    uint32_t RemoteAddress() const;
    uint32_t RemotePort() const;
    void SetRemote(uint32_t address, uint32_t port);

    // Receive path: called by the worker for every received block with n > 0.
    void ReceiveChunk(const nsAddress& sender, const uint8_t* data, size_t n);

    // Send path. SetUserPacketPending(true) then QueueUserPacket() on the user-interface
    // thread; SendStep() on the worker for each send-step completion (1 when a packet was sent
    // and the step completed, else 0).
    void SetUserPacketPending(bool pending);
    void QueueUserPacket();
    int SendStep();
    int SendPacket(const uint8_t* data, size_t n);

    // Turns the cipher on with a key exchange pending, as a device's key-exchange request
    // does: from the next send on every packet carries the channel's public key, encrypted
    // with the key of the channel's record. Waits for a running send step to finish.
    void BeginKeyExchange();

    // The state record (link/link_channel_state.h), for the engine's own units and tests.
    struct State;
    State& Internals() { return *state_; }
    const State& Internals() const { return *state_; }

private:
    // Refill of an empty queue by the cycle builder.
    void RefillQueue();
    // Encrypted form of a queued packet, sent through SendPacket.
    int SendEncrypted(const LinkPacket& packet);
    // Device accounting around the send of an accounted packet.
    void AccountBeforeSend(const LinkPacket& packet);
    void AccountAfterSend(uint8_t packetClass, uint32_t deviceAddress);
    void ReportDeviceLoss(uint32_t deviceAddress);

    std::unique_ptr<State> state_;
};

// The process-wide user-packet buffer that the Send command fills and QueueUserPacket reads.
void StoreUserPacket(const uint8_t* bytes, uint16_t count);

}  // namespace tarvu
