#pragma once
// The application's message callbacks: DescribeMessage names a message on the debug output,
// stores an ma_MAC address in the settings and retires the answered pending message;
// FetchMessage hands the engine the head of the pending list, each message messageRepeats
// times, counted by one repeat counter shared by all messages.

#include "link/engine_config.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace tarvu {

constexpr uint32_t kCodeChangeIp = 0x300;
constexpr uint32_t kCodeMac = 0x301;
// Parameter of the last copy of a repeated message.
constexpr uint8_t kLastRepeatParameter = 0xC6;

class MessageCallbacks {
public:
    // Writes one settings value; the result is not checked.
    using SettingsWriter = std::function<void(const std::string& section, const std::string& key,
                                              const std::string& value)>;

    MessageCallbacks(uint16_t messageRepeats, SettingsWriter writeSetting);

    // Always 1. `message` may be the pending head itself.
    int DescribeMessage(const MessageRecord& message);

    // 0 with `out` untouched when nothing is pending; otherwise copies the head into `out` and
    // returns the repeat counter (advanced first when `take` is not 0).
    uint16_t FetchMessage(MessageRecord* out, int take);

    void AddPending(const MessageRecord& message);
    size_t PendingCount() const;
    // Releases every pending message (closing sequence).
    void ClearPending();
    uint16_t RepeatCounter() const;

private:
    void DescribeLocked(const MessageRecord& message);

    mutable std::mutex mutex_;
    const uint16_t messageRepeats_;
    SettingsWriter writeSetting_;
    std::deque<std::unique_ptr<MessageRecord>> pending_;
    uint16_t repeatCounter_ = 1;
};

// "Kanal №3"-style section of a channel's settings.
std::string ChannelSection(uint8_t channelNumber);

}  // namespace tarvu
