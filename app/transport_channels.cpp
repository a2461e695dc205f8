#include "app/channel_service.h"
#include "link/link_channel_state.h"
#include "transport/channel_table.h"
#include "transport/libnet_provider.h"
#include "transport/submit_user_packet.h"

namespace tarvu {
namespace {

class TransportChannelService final : public ChannelService {
public:
    int Open(ChannelRequest& request) override { return OpenChannel(request); }
    void Close(ChannelRequest& request) override { CloseChannel(request); }
    BindFailure LastOpenBindFailure() const override { return tarvu::LastOpenBindFailure(); }
    bool IsOpen(uint8_t channelNumber) const override {
        return FindChannel(channelNumber) != nullptr;
    }
    int SubmitUserPacket(const uint8_t* bytes, uint16_t count) override {
        return tarvu::SubmitUserPacket(bytes, count);
    }
    void PostSendStep(uint8_t channelNumber) override {
        if (const ChannelPin channel = PinOpenChannel(channelNumber)) {
            channel->PostTimerSend();
        }
    }
    uint32_t PendingSendSteps(uint8_t channelNumber) const override {
        const ChannelPin channel = PinOpenChannel(channelNumber);
        return channel ? channel->PendingSendSteps() : 0;
    }
    size_t QueuedUserPackets(uint8_t channelNumber) const override {
        const ChannelPin channel = PinOpenChannel(channelNumber);
        return channel ? channel->Link().Internals().sendQueue.UserPackets() : 0;
    }
    void BeginKeyExchange(uint8_t channelNumber) override {
        if (const ChannelPin channel = PinOpenChannel(channelNumber)) {
            channel->Link().BeginKeyExchange();
        }
    }
};

}  // namespace

ChannelService& TransportChannels() {
    static TransportChannelService service;
    return service;
}

}  // namespace tarvu
