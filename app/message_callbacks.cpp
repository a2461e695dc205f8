#include "app/message_callbacks.h"

#include "link/hex_text.h"
#include "platform/debug_output.h"
#include "trace/message_catalogue.h"

#include <utility>

namespace tarvu {
namespace {

constexpr char kMacKey[] = "MAC-адрес(hex)";
constexpr size_t kMacLength = 6;

}  // namespace

std::string ChannelSection(uint8_t channelNumber) {
    return "Kanal №" + std::to_string(channelNumber);
}

MessageCallbacks::MessageCallbacks(uint16_t messageRepeats, SettingsWriter writeSetting)
    : messageRepeats_(messageRepeats), writeSetting_(std::move(writeSetting)) {
}

int MessageCallbacks::DescribeMessage(const MessageRecord& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    DescribeLocked(message);
    return 1;
}

void MessageCallbacks::DescribeLocked(const MessageRecord& message) {
    const std::string parameter = DescribeParameter(message.Parameter());
    const std::string code = DescribeCode(message.Code());
    if (message.Code() == kCodeMac && writeSetting_) {
        writeSetting_(ChannelSection(message.ChannelNumber()), kMacKey,
                      FormatHexBytes(message.Mac(), kMacLength));
    }
    const uint8_t device = message.DeviceAddress();
    OutputDebugString(FormatHexBytes(&device, 1) + ": - HardCode = " + code +
                      " ; Param = " + parameter + "\n");

    // Last: `message` may be the head, released here.
    if (!pending_.empty()) {
        const MessageRecord& head = *pending_.front();
        if (head.DeviceAddress() == message.DeviceAddress() &&
            head.ChannelNumber() == message.ChannelNumber() && head.Code() == message.Code()) {
            pending_.pop_front();
        }
    }
}

uint16_t MessageCallbacks::FetchMessage(MessageRecord* out, int take) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.empty() || out == nullptr) {
        return 0;
    }
    *out = *pending_.front();
    if (take == 0) {
        return repeatCounter_;
    }
    if (repeatCounter_ == messageRepeats_) {
        out->SetParameter(kLastRepeatParameter);
        DescribeLocked(*pending_.front());
    }
    // Counted wider than 16 bits so that messageRepeats 65535 wraps to 1, never to 0 (which
    // would tell the engine that nothing was fetched).
    const uint32_t next = uint32_t{repeatCounter_} + 1;
    repeatCounter_ = next > messageRepeats_ ? 1 : static_cast<uint16_t>(next);
    return repeatCounter_;
}

void MessageCallbacks::AddPending(const MessageRecord& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::make_unique<MessageRecord>(message));
}

size_t MessageCallbacks::PendingCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.size();
}

void MessageCallbacks::ClearPending() {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.clear();
}

uint16_t MessageCallbacks::RepeatCounter() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return repeatCounter_;
}

}  // namespace tarvu
