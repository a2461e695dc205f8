#pragma once
// The --send packets of a client session. Without --repeat each is one press of "Send!",
// --interval apart, as the dialog would have it. With --repeat N each packet text is a
// template ({n} counts its copies from 0) sent N times on an exact schedule: send k (the
// packets taking turns) leaves at start + k * --every, whatever the sends before took, so
// the schedule does not drift. Scheduled packets bypass the packet field and go straight to the
// channel, which runs with userPacketWait 0 for such a session: the 300 ms wait after a typed
// packet would otherwise hold the worker past the next due time. A packet is handed over only
// once the one before has left: the engine puts a typed packet ahead of those queued, so two
// handed over before the worker takes them would leave newest first.

#include "app/channel_service.h"
#include "scenario/byte_template.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvu {
class MainDialogLogic;
}

namespace tarvu::cli {

class ClientModeView;

struct SendPlan {
    std::vector<std::string> texts;
    int intervalMs = 300;
    std::optional<uint64_t> repeat;
    uint32_t everyMs = 300;
    std::vector<scenario::ByteTemplate> templates;  // with --repeat only

    // Packets the plan hands over in all.
    size_t Total() const;
};

// Reads the texts as templates when repeating. False with a message in `error` (the column of
// the bad character counts from 1 in its --send text).
bool PrepareSendPlan(SendPlan& plan, std::string& error);

// Hands the packets over until done, a stop request or `ended` says so. Returns how many were
// handed over; `stopped` tells whether the session was ended early.
size_t RunSendPlan(const SendPlan& plan, ClientModeView& view, MainDialogLogic& logic,
                   ChannelService& channels, const std::function<bool()>& ended, bool& stopped);

// The schedule's due times, for tests: send k of a plan that starts at `start`.
std::chrono::steady_clock::time_point ScheduledSendTime(std::chrono::steady_clock::time_point start,
                                                        uint32_t everyMs, uint64_t k);

}  // namespace tarvu::cli
