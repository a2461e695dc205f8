#include "link/link_channel.h"
#include "link/link_channel_state.h"

namespace tarvu {

void LinkChannel::ReceiveChunk(const nsAddress& sender, const uint8_t* data, size_t n) {
    if (data == nullptr && n != 0) {
        return;
    }
    State& s = *state_;
    // The switch is read per chunk, so flipping it takes effect with the next datagram.
    const MainWindow* window = CurrentMainWindow();
    const bool substitution = window != nullptr && window->SubstitutionChecked();

    CallTraceData(this, data, n, kTraceReceived, sender, kTraceStageRaw);
    if (!substitution) {
        return;
    }
    const std::lock_guard<std::mutex> lock(s.receiveMutex);
    s.decoder.Feed(data, n, [&](const uint8_t* packet, size_t length) {
        CallTraceData(this, packet, length, kTraceReceived, sender, kTraceStageFrame);
        // Whoever answers with a whole frame becomes the remembered converter.
        s.remoteAddress.store(sender.address);
    });
}

}  // namespace tarvu
