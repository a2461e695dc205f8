#include "link/link_channel.h"
#include "link/link_channel_state.h"

namespace tarvu {
namespace {

constexpr uint8_t kClassMessage = 3;
constexpr uint8_t kClassRequest4 = 4;
constexpr uint8_t kClassRequest5 = 5;
constexpr uint8_t kQualifierMessage = 0x10;
constexpr uint32_t ma_DISREPAIR = 0x40;
// Device types whose loss reports name the device.
constexpr uint32_t kDeviceTypeAddressed1 = 1192;
constexpr uint32_t kDeviceTypeAddressed2 = 1208;

}  // namespace

bool QueueFetchedMessage(LinkChannel::State& s, MessageQueueEnd end, uint32_t messagePending) {
    const LinkCallbacks* callbacks = ActiveCallbacks();
    if (callbacks == nullptr || callbacks->FetchMessage == nullptr) {
        return false;
    }
    const ChannelRequest request = s.FetchRequest();
    MessageRecord message;
    if (callbacks->FetchMessage(&request, &message, 0) == 0) {
        return false;
    }
    callbacks->FetchMessage(&request, &message, 1);
    auto copy = s.AdoptMessage(message);
    // A message for device 0 or above 32 has no entry; it is sent without accounting.
    DeviceState* entry = s.DeviceEntry(copy->DeviceAddress().value_or(0));
    if (end == MessageQueueEnd::kHead) {
        s.sendQueue.PushFront(std::move(copy));
    } else {
        s.sendQueue.PushBack(std::move(copy));
    }
    s.attemptCounter = 0;
    if (entry != nullptr) {
        entry->messagePending = messagePending;
        entry->lastKind = kLastKindMessage;
    }
    return true;
}

void LinkChannel::AccountBeforeSend(const LinkPacket& packet) {
    DeviceState* entry = state_->DeviceEntry(packet.DeviceAddress().value_or(0));
    const uint8_t* type = packet.TypeByte();
    if (entry == nullptr || type == nullptr) {
        return;
    }
    switch (*type >> 4) {
        case kClassMessage:
            entry->lastKind = kLastKindPoll;
            --entry->class3Count;
            if (*packet.Qualifier() == kQualifierMessage) {
                entry->lastKind = kLastKindMessage;
                entry->messagePending = 1;
            }
            break;
        case kClassRequest4:
            --entry->class4Count;
            break;
        case kClassRequest5:
            --entry->class5Count;
            break;
        default:
            break;
    }
}

void LinkChannel::AccountAfterSend(uint8_t packetClass, uint32_t deviceAddress) {
    State& s = *state_;
    DeviceState* entry = s.DeviceEntry(deviceAddress);
    if (entry == nullptr) {
        return;
    }
    const auto retries = static_cast<uint8_t>(s.Parameter(kDeviceRetries));
    if (packetClass == kClassMessage) {
        if (entry->lastKind == kLastKindPoll) {
            if (entry->class3Count == 0) {
                entry->state = kDeviceRequestClass5;
                entry->class5Count = retries;
            }
        } else if (entry->lastKind == kLastKindMessage) {
            if (entry->messagePending == 1) {
                s.currentMessage.reset();
                entry->messagePending = 0;
            }
            if (s.attemptCounter < s.Parameter(kMessageAttempts)) {
                ++s.attemptCounter;
            }
            if (s.attemptCounter < s.Parameter(kMessageAttempts)) {
                // While attempts remain, the application's current message (if it still hands
                // one out) goes out again ahead of everything queued.
                QueueFetchedMessage(s, MessageQueueEnd::kHead, 0);
            }
        }
        return;
    }
    if (packetClass == kClassRequest4) {
        if (entry->class4Count == 0) {
            entry->state = kDeviceRequestClass5;
            entry->class5Count = retries;
        }
    } else if (packetClass != kClassRequest5) {
        return;
    }
    // Class 5, and class 4 after the rule above.
    if (entry->class5Count == 0) {
        ReportDeviceLoss(deviceAddress);
        entry->state = kDeviceRequestClass5;
        entry->class5Count = 255;
    } else if (entry->class5Count == 254) {
        entry->class5Count = 255;
    }
}

void LinkChannel::ReportDeviceLoss(uint32_t deviceAddress) {
    const LinkCallbacks* callbacks = ActiveCallbacks();
    if (callbacks == nullptr || callbacks->LookupChannel == nullptr ||
        callbacks->DescribeMessage == nullptr) {
        return;
    }
    const ChannelRequest own = state_->OwnRequest();
    const ChannelRecord* record = callbacks->LookupChannel(&own);
    if (record == nullptr || (record->flags & kChannelConfigured) == 0) {
        return;
    }
    MessageRecord message;
    message.SetCode(ma_DISREPAIR);
    if (record->deviceType == kDeviceTypeAddressed1 ||
        record->deviceType == kDeviceTypeAddressed2) {
        message.SetDeviceAddress(static_cast<uint8_t>(deviceAddress));
    }
    callbacks->DescribeMessage(&message);
}

}  // namespace tarvu
