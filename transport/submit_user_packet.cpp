#include "transport/submit_user_packet.h"

#include "link/link_channel.h"
#include "transport/channel_table.h"
#include "transport/libnet_provider.h"

namespace tarvu {
namespace {

constexpr int kUserChannel = 1;

}  // namespace

int SubmitUserPacket(const uint8_t* bytes, uint16_t count) {
    // Cutting a longer packet down would send something other than what was typed.
    if (count > kUserPacketMaxBytes || (bytes == nullptr && count != 0)) {
        return kUserPacketTooLong;
    }
    StoreUserPacket(bytes, count);
    ChannelPin channel = PinOpenChannel(kUserChannel);
    if (channel) {
        channel->Link().SetUserPacketPending(true);
        channel->Link().QueueUserPacket();
    }
    return 0;
}

}  // namespace tarvu
