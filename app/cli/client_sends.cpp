#include "app/cli/client_sends.h"

#include "app/cli/client_mode_view.h"
#include "app/main_dialog_logic.h"
#include "app/packet_text.h"
#include "platform/stop_signal.h"
#include "scenario/source_text.h"

#include <thread>

namespace tarvu::cli {
namespace {

// How long one sleep lasts before the stop request is looked at again.
constexpr auto kStopPoll = std::chrono::milliseconds(20);

// Sleeps until `due`; false when the session ends first.
bool SleepUntil(std::chrono::steady_clock::time_point due, const std::function<bool()>& ended) {
    for (;;) {
        if (StopRequested() || ended()) {
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= due) {
            return true;
        }
        std::this_thread::sleep_until(std::min(due, now + kStopPoll));
    }
}

}  // namespace

size_t SendPlan::Total() const {
    return repeat ? texts.size() * static_cast<size_t>(*repeat) : texts.size();
}

std::chrono::steady_clock::time_point ScheduledSendTime(std::chrono::steady_clock::time_point start,
                                                        uint32_t everyMs, uint64_t k) {
    return start + std::chrono::milliseconds(everyMs) * static_cast<int64_t>(k);
}

bool PrepareSendPlan(SendPlan& plan, std::string& error) {
    if (!plan.repeat) {
        return true;
    }
    for (const std::string& text : plan.texts) {
        scenario::ByteTemplate bytes;
        scenario::Failure failure;
        if (!scenario::ParseByteTemplate(text, 0, scenario::TemplateScope::kCounterOnly, bytes,
                                         failure)) {
            error = "--send \"" + text + "\": column " +
                    std::to_string(scenario::ColumnOf(text, failure.offset)) + ": " +
                    failure.message;
            return false;
        }
        if (bytes.FixedLength() > kMaxPacketBytes) {
            error = "--send \"" + text + "\": " + std::to_string(bytes.FixedLength()) +
                    " bytes; at most " + std::to_string(kMaxPacketBytes);
            return false;
        }
        plan.templates.push_back(std::move(bytes));
    }
    return true;
}

size_t RunSendPlan(const SendPlan& plan, ClientModeView& view, MainDialogLogic& logic,
                   ChannelService& channels, const std::function<bool()>& ended, bool& stopped) {
    stopped = false;
    size_t handed = 0;
    if (!plan.repeat) {
        for (size_t i = 0; i < plan.texts.size(); ++i) {
            if (i > 0 && (WaitForStop(plan.intervalMs, ended) || ended())) {
                stopped = true;
                break;
            }
            view.SetPacketText(plan.texts[i]);
            logic.Send();
            ++handed;
        }
        return handed;
    }
    const auto start = std::chrono::steady_clock::now();
    const size_t packets = plan.templates.size();
    std::vector<uint8_t> bytes;
    for (uint64_t k = 0; k < plan.Total(); ++k) {
        if (!SleepUntil(ScheduledSendTime(start, plan.everyMs, k), ended)) {
            stopped = true;
            break;
        }
        const uint8_t channel = logic.Request().channelNumber;
        while (channels.QueuedUserPackets(channel) != 0) {
            if (StopRequested() || ended()) {
                stopped = true;
                return handed;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        bytes.clear();
        plan.templates[k % packets].Expand(k / packets, {}, bytes);
        channels.SubmitUserPacket(bytes.data(), static_cast<uint16_t>(bytes.size()));
        ++handed;
    }
    return handed;
}

}  // namespace tarvu::cli
