#pragma once
// The state record of one channel's link protocol, shared by the channel's own units
// (construction, receive path, send queue and step, accounting) and by tests.

#include "link/device_state.h"
#include "link/encrypted_send.h"
#include "link/engine.h"
#include "link/engine_config.h"
#include "link/frame_codec.h"
#include "link/link_channel.h"
#include "link/link_packet.h"
#include "link/link_transport.h"
#include "link/main_window.h"
#include "link/send_pacing.h"
#include "link/send_queue.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tarvu {

constexpr size_t kCipherKeySize = 32;
constexpr size_t kPaddingRecordSize = 9;  // pad count and up to eight pad bytes
constexpr size_t kPublicKeyRecordSize = 258;
constexpr size_t kPrivateKeyRecordSize = 706;

struct LinkChannel::State {
    State(const ChannelRequest& channelRequest, LinkTransport& channelTransport)
        : transport(channelTransport),
          request(channelRequest),
          channelNumber(channelRequest.channelNumber) {}

    uint16_t Parameter(LinkParameter index) const { return parameters[index]; }

    // The request the engine passes when it asks about its own channel: UDP kind, the
    // channel's number, record index 0.
    ChannelRequest OwnRequest() const {
        ChannelRequest own;
        own.kind = kChannelKindUdp;
        own.channelNumber = request.channelNumber;
        return own;
    }

    // The copy of the channel's request that FetchMessage receives: UDP kind, bytes 1-2 zero.
    ChannelRequest FetchRequest() const {
        ChannelRequest copy = request;
        copy.kind = kChannelKindUdp;
        copy.reserved1[0] = 0;
        copy.reserved1[1] = 0;
        return copy;
    }

    // The message packet of one application message, its wait set from the link parameters.
    LinkPacket MakeMessage(const MessageRecord& message) const {
        uint32_t wide[kLinkParameterCount] = {};
        for (size_t i = 0; i < kLinkParameterCount; ++i) {
            wide[i] = parameters[i];
        }
        return MakeMessagePacket(message.Code(), message.Parameter(), message.DeviceAddress(),
                                 message.Extra(), wide);
    }

    // Makes the packet of `message` the current message and returns the copy the send queue
    // takes: wait messageWait, accounted.
    std::unique_ptr<LinkPacket> AdoptMessage(const MessageRecord& message) {
        currentMessage = std::make_unique<LinkPacket>(MakeMessage(message));
        auto copy = std::make_unique<LinkPacket>(
            LinkPacket::Parse(currentMessage->Data(), currentMessage->Length()));
        copy->wait = Parameter(kMessageWait);
        copy->accounted = 1;
        return copy;
    }

    // The entry of device address 1..32; other addresses have none and are not accounted.
    DeviceState* DeviceEntry(uint32_t deviceAddress) {
        if (deviceAddress < 1 || deviceAddress > kDeviceCount) {
            return nullptr;
        }
        return &deviceStates[deviceAddress - 1];
    }

    LinkTransport& transport;

    ChannelRequest request;
    std::unique_ptr<LinkPacket> currentMessage;  // built from the last fetched message
    uint16_t cycleCounter = 0;
    uint16_t attemptCounter = 0;
    uint32_t measureSpacing = 1;  // 1: the next step measures the spacing to the last send
    int64_t lastSendTime = 0;     // counter value of the last paced send
    int64_t now = 0;
    std::atomic<uint32_t> userPacketPending{0};
    uint16_t channelNumber = 0;
    uint32_t firstSendPending = 0;  // 1: the next step first waits firstSendDelay
    uint32_t cipherOn = 0;
    uint32_t keyEstablished = 1;  // 0 while the public key travels with every packet
    std::array<uint8_t, kCipherKeySize> cipherKey = {};
    std::array<uint16_t, kLinkParameterCount> parameters = {};  // low 16 bits of the config's
    std::array<uint8_t, kPaddingRecordSize> lastPadding = {};
    FrameDecoder decoder;
    std::array<uint8_t, kPublicKeyRecordSize> publicKey = {};
    std::array<uint8_t, kPrivateKeyRecordSize> privateKey = {};
    uint32_t keyPairReady = 0;
    // The once-per-channel key-pair generation; tests put a failing or counting one here.
    int (*generateKeyPair)(RsaPublicKey&, RsaPrivateKey&) = GenerateChannelKeyPair;
    std::array<DeviceState, kDeviceCount> deviceStates = {};
    std::array<uint8_t, kDeviceCount> deviceActive = {};  // nonzero: the device is polled
    int16_t currentDevice = -1;                           // last device the cycle builder visited
    SendQueue sendQueue;

    // Read by the transport's already-open check on the user-interface thread while the
    // receive path may replace the address on the worker.
    std::atomic<uint32_t> remoteAddress{0};
    std::atomic<uint32_t> remotePort{0};

    // The decoder is fed from whichever worker delivers a datagram; the lock keeps two
    // deliveries from interleaving in its ring.
    std::mutex receiveMutex;
    // Send steps of one channel run one at a time. Held across the step's waits; the queue's
    // own lock never is.
    std::mutex stepMutex;
    PacingClock clock = PerformanceClock();
};

// The callbacks of the active engine configuration, or null before StartEngine.
inline const LinkCallbacks* ActiveCallbacks() {
    const EngineConfig* config = ActiveEngineConfig();
    return config != nullptr ? &config->callbacks : nullptr;
}

// The main window the application hands out, or null.
inline const MainWindow* CurrentMainWindow() {
    const LinkCallbacks* callbacks = ActiveCallbacks();
    return callbacks != nullptr && callbacks->GetMainWindow != nullptr ? callbacks->GetMainWindow()
                                                                       : nullptr;
}

// Trace directions and stages.
constexpr int kTraceReceived = 0;
constexpr int kTraceSent = 1;
constexpr int kTraceStageRaw = 0;    // packet as sent, chunk as received
constexpr int kTraceStageFrame = 1;  // frame after encoding, packet after decoding

// Hands one block to the application's TraceData callback, if it has one.
void CallTraceData(const LinkChannel* channel, const uint8_t* data, size_t n, int direction,
                   const nsAddress& peer, int stage);

// Caption of the message box that tells the user a packet was not sent.
inline constexpr char kSendRefusedCaption[] = "Внимание!";

// Where a fetched message's copy joins the send queue: the cycle builder appends it, a
// repetition goes ahead of everything queued.
enum class MessageQueueEnd { kTail, kHead };

// Looks at the application's next message and, if there is one, takes it (advancing the
// application's repeat counter), makes it the current message and queues its copy. The
// device's entry, if the address has one, gets `messagePending` and the message kind.
// Returns false when the application had nothing.
bool QueueFetchedMessage(LinkChannel::State& s, MessageQueueEnd end, uint32_t messagePending);

}  // namespace tarvu
