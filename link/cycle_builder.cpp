// The cycle builder: the refill of an empty send queue. It takes the application's next
// message and visits the channel's devices for polls and device requests.

#include "link/link_channel.h"
#include "link/link_channel_state.h"

namespace tarvu {
namespace {

constexpr uint8_t kTypePoll = 0x30;
constexpr uint8_t kQualifierPoll = 0x00;
constexpr uint8_t kTypeRequest4 = 0x40;
constexpr uint8_t kQualifierRequest4 = 0x01;
constexpr uint8_t kTypeRequest5 = 0x50;
constexpr uint8_t kQualifierRequest5 = 0x05;
constexpr uint8_t kTypeKeyExchange = 0x62;
constexpr uint8_t kQualifierKeyExchange = 0x03;

// 11 AA 00 TT QQ [body]: one-byte device address index + 1, second address 0.
void QueueDevicePacket(LinkChannel::State& s, size_t index, uint8_t type, uint8_t qualifier,
                       bool addressAsBody) {
    const auto address = static_cast<uint8_t>(index + 1);
    const uint8_t bytes[] = {0x11, address, 0x00, type, qualifier, address};
    auto packet = std::make_unique<LinkPacket>(
        LinkPacket::Parse(bytes, addressAsBody ? sizeof bytes : sizeof bytes - 1));
    packet->wait = s.Parameter(kCommandWait);
    packet->accounted = 1;
    s.sendQueue.PushBack(std::move(packet));
}

// Polls of every active device waiting for class-4 requests, then the request of `selected`.
void QueueVisitPackets(LinkChannel::State& s, size_t selected) {
    for (size_t j = 0; j < kDeviceCount; ++j) {
        if (s.deviceActive[j] != 0 && s.deviceStates[j].state == kDeviceRequestClass4) {
            QueueDevicePacket(s, j, kTypePoll, kQualifierPoll, false);
        }
    }
    switch (s.deviceStates[selected].state) {
        case kDeviceRequestClass4:
            QueueDevicePacket(s, selected, kTypeRequest4, kQualifierRequest4, false);
            break;
        case kDeviceRequestClass5:
            QueueDevicePacket(s, selected, kTypeRequest5, kQualifierRequest5, true);
            break;
        case kDeviceKeyExchange:
            s.cipherOn = 1;
            s.keyEstablished = 0;
            QueueDevicePacket(s, selected, kTypeKeyExchange, kQualifierKeyExchange, false);
            break;
        default:
            break;
    }
}

// Visits at most every device once, from the one after the last visited, and selects the
// first active device with a request. Returns true when a cycle closed (the visit, or the
// choice of its start, moved on from the last device to the first while pollDivisor is 0).
bool VisitDevices(LinkChannel::State& s) {
    bool cycleClosed = false;
    const auto endCycle = [&s, &cycleClosed] {
        s.measureSpacing = 1;
        if (s.Parameter(kPollDivisor) == 0) {
            cycleClosed = true;
        }
    };

    size_t index = 0;
    if (s.currentDevice >= 0) {
        index = static_cast<size_t>(s.currentDevice) + 1;
        if (index == kDeviceCount) {
            index = 0;
            endCycle();
        }
    }
    s.currentDevice = -1;
    // The visit moves on only to a device it is about to look at: after its 32nd it stops
    // where it is, so from start 0 it covers 0 to 31 and ends no cycle.
    for (size_t visited = 0; visited < kDeviceCount; ++visited) {
        if (visited > 0 && ++index == kDeviceCount) {
            index = 0;
            endCycle();
        }
        if (s.deviceActive[index] != 0 && s.deviceStates[index].state != kDeviceIdle) {
            s.currentDevice = static_cast<int16_t>(index);
            QueueVisitPackets(s, index);
            break;
        }
    }
    return cycleClosed;
}

}  // namespace

void LinkChannel::RefillQueue() {
    State& s = *state_;
    s.firstSendPending = 1;
    QueueFetchedMessage(s, MessageQueueEnd::kTail, 1);
    const bool cycleClosed = VisitDevices(s);
    const uint16_t divisor = s.Parameter(kPollDivisor);
    if (!cycleClosed && divisor != 0) {
        // Every divisor-th run closes a cycle; nothing further hangs on it.
        s.cycleCounter = static_cast<uint16_t>((s.cycleCounter + 1) % divisor);
    }
}

}  // namespace tarvu
