#include "link/link_channel.h"

#include "link/link_channel_state.h"

#include <algorithm>
#include <limits>

namespace tarvu {

void CallTraceData(const LinkChannel* channel, const uint8_t* data, size_t n, int direction,
                   const nsAddress& peer, int stage) {
    const LinkCallbacks* callbacks = ActiveCallbacks();
    if (callbacks == nullptr || callbacks->TraceData == nullptr) {
        return;
    }
    const auto length =
        static_cast<uint32_t>(std::min<size_t>(n, std::numeric_limits<uint32_t>::max()));
    callbacks->TraceData(channel, data, length, direction, &peer, peer.port, stage);
}

LinkChannel::LinkChannel(const ChannelRequest& request, LinkTransport& transport)
    : state_(std::make_unique<State>(request, transport)) {
    State& s = *state_;
    const EngineConfig* config = ActiveEngineConfig();
    if (config == nullptr) {
        return;
    }
    for (size_t i = 0; i < kLinkParameterCount; ++i) {
        s.parameters[i] = static_cast<uint16_t>(config->parameters[i] & 0xFFFFu);
    }
    const LookupChannelFn lookup = config->callbacks.LookupChannel;
    if (lookup == nullptr) {
        return;
    }
    // Unless every channel takes the blank default record, the cipher option and the
    // converter's address come from the channel's own record.
    if (EngineAcceptsUnconfigured() != 1) {
        if (const ChannelRecord* record = lookup(&request)) {
            s.cipherOn = record->options & kOptionCipher;
            if (request.kind == kChannelKindUdp) {
                s.remoteAddress.store(record->remoteAddress);
                s.remotePort.store(record->remotePort);
            }
        }
    }
    const ChannelRequest own = s.OwnRequest();
    if (const ChannelRecord* record = lookup(&own)) {
        s.cipherKey = record->key;
    }
}

LinkChannel::~LinkChannel() = default;

const ChannelRequest& LinkChannel::Request() const {
    return state_->request;
}

uint16_t LinkChannel::ChannelNumber() const {
    return state_->channelNumber;
}

uint32_t LinkChannel::RemoteAddress() const {
    return state_->remoteAddress.load();
}

uint32_t LinkChannel::RemotePort() const {
    return state_->remotePort.load();
}

void LinkChannel::SetRemote(uint32_t address, uint32_t port) {
    state_->remoteAddress.store(address);
    state_->remotePort.store(port);
}

}  // namespace tarvu
