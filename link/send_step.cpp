#include "link/link_channel.h"
#include "link/link_channel_state.h"
#include "platform/debug_output.h"
#include "platform/message_box.h"

#include <string>
#include <vector>

namespace tarvu {
namespace {

// Sleeps on the channel's step timer; false when the channel stopped running meanwhile
// (closing the channel wakes the sleeper at once).
bool WaitWhileRunning(LinkTransport& transport, int64_t milliseconds) {
    transport.SleepOnStepTimer(static_cast<uint32_t>(milliseconds));
    return transport.IsRunning();
}

uint8_t PacketClass(const LinkPacket& packet) {
    const uint8_t* type = packet.TypeByte();
    return type != nullptr ? static_cast<uint8_t>(*type >> 4) : 0;
}

}  // namespace

int LinkChannel::SendStep() {
    State& s = *state_;
    const std::lock_guard<std::mutex> oneStepAtATime(s.stepMutex);

    if (s.sendQueue.Empty()) {
        RefillQueue();
    }
    // Only this step removes packets, so `packet` stays valid while others insert.
    const LinkPacket* packet = s.sendQueue.Head();
    if (packet == nullptr) {
        return 0;
    }
    if (packet->accounted == 1) {
        AccountBeforeSend(*packet);
    }
    const uint32_t wait = packet->wait;
    const bool accounted = packet->accounted == 1;
    const uint8_t packetClass = PacketClass(*packet);
    const uint32_t deviceAddress = packet->DeviceAddress().value_or(0);

    int64_t gap = 0;
    if (s.measureSpacing == 1) {
        gap = MeasureSendSpacing(s.clock, s.Parameter(kMinSendInterval), s.lastSendTime, s.now);
    }
    int64_t delay = s.Parameter(kSendDelay);
    if (s.measureSpacing == 1 && gap > delay) {
        delay = gap;
    }
    // An abandoned step leaves its packet queued.
    if (delay > 0 && !WaitWhileRunning(s.transport, delay)) {
        return 0;
    }
    s.measureSpacing = 0;
    if (s.firstSendPending == 1 && s.Parameter(kFirstSendDelay) != 0) {
        s.firstSendPending = 0;
        if (!WaitWhileRunning(s.transport, s.Parameter(kFirstSendDelay))) {
            return 0;
        }
    }

    // The transport's result is not examined: nothing is retried at this level.
    if (s.cipherOn == 1) {
        SendEncrypted(*packet);
    } else {
        SendPacket(packet->Data(), packet->Length());
    }
    s.sendQueue.Remove(packet);
    packet = nullptr;

    if (wait > 0) {
        s.transport.SleepOnStepTimer(wait);
    }
    if (!s.transport.IsRunning()) {
        return 0;
    }
    if (accounted) {
        AccountAfterSend(packetClass, deviceAddress);
    }
    return 1;
}

int LinkChannel::SendPacket(const uint8_t* data, size_t n) {
    if (data == nullptr && n != 0) {
        return -1;
    }
    State& s = *state_;
    // The destination is read from the dialog at every send, once, so that the trace names
    // the address the bytes really go to.
    const MainWindow* window = CurrentMainWindow();
    nsAddress destination;
    bool substitution = false;
    if (window != nullptr) {
        destination.address = DestinationAddress(*window);
        const int port = PortFieldValue(window->SendPortText());
        // A serial channel ignores the address; a UDP datagram needs a port that exists.
        if ((port < 0 || port > 0xFFFF) && s.transport.SerialBaudRate() == 0) {
            OutputDebugString("SendPacket: send port " + std::to_string(port) +
                              " is out of range; packet not sent\n");
            // The front end's box does not hold up this worker: the dialog shows it from its
            // own thread later, the command line writes one line.
            ShowMessageBox(kSendRefusedCaption, "Порт передачи " + std::to_string(port) +
                                                    " вне пределов 0..65535: пакет не послан");
            return -1;
        }
        destination.port = static_cast<uint16_t>(port);
        substitution = window->SubstitutionChecked();
    }

    CallTraceData(this, data, n, kTraceSent, destination, kTraceStageRaw);
    if (!substitution) {
        return s.transport.Send(destination, data, n);
    }
    // Sized for the worst case (every byte escaped), so no packet overruns it. The transport
    // copies the bytes, so the area may end with this call.
    std::vector<uint8_t> frame(FrameAreaSize(n));
    const size_t frameLength = FrameEncode(frame.data(), data, n);
    CallTraceData(this, frame.data(), frameLength, kTraceSent, destination, kTraceStageFrame);
    return s.transport.Send(destination, frame.data(), frameLength);
}

}  // namespace tarvu
