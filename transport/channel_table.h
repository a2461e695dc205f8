#pragma once
// The process-wide table of 256 channel slots, opening and closing channels, and the pins
// through which worker threads keep a channel alive while they run code of it.

#include "link/engine_config.h"
#include "platform/udp_socket.h"

#include <functional>

namespace tarvu {

class cnsLibnetProvider;

constexpr int kChannelSlots = 256;

// Opens the channel that `request` names. Returns 0 whether or not a channel was opened
// (refusals and failures are shown to the user in message boxes; FindChannel tells whether
// the channel exists); -1 only when the socket layer cannot be started.
int OpenChannel(const ChannelRequest& request);
// Why the last OpenChannel on the calling thread left no channel because its socket could
// not be bound to the read port; kNone when it opened or failed for another reason.
BindFailure LastOpenBindFailure();
// Closes the channel in the request's slot, if open. Always 0.
int CloseChannel(const ChannelRequest& request);

// For the thread that opens and closes channels: the channel in slot `number`, or null.
cnsLibnetProvider* FindChannel(int number);
bool ChannelTableExists();
// Calls `visit` for every channel in the table, lowest slot first.
void ForEachOpenChannel(const std::function<void(cnsLibnetProvider&)>& visit);

// A channel kept alive for the holder: CloseChannel waits until no pin is left.
class ChannelPin {
public:
    ChannelPin() = default;
    explicit ChannelPin(cnsLibnetProvider* channel) : channel_(channel) {}
    ~ChannelPin();
    ChannelPin(ChannelPin&& other) noexcept;
    ChannelPin& operator=(ChannelPin&&) = delete;
    ChannelPin(const ChannelPin&) = delete;
    ChannelPin& operator=(const ChannelPin&) = delete;

    explicit operator bool() const { return channel_ != nullptr; }
    cnsLibnetProvider* operator->() const { return channel_; }
    cnsLibnetProvider* get() const { return channel_; }

private:
    cnsLibnetProvider* channel_ = nullptr;
};

// Pins the channel whose address is `key` if it is still alive.
ChannelPin PinChannel(uintptr_t key);
// Pins the channel in the lowest occupied slot; empty when there is no table or no channel.
ChannelPin PinLowestOpenChannel();
// Pins the channel in slot `number`.
ChannelPin PinOpenChannel(int number);

// A channel object counts as alive from just before its driver opens until it is stopped.
void RegisterLiveChannel(cnsLibnetProvider* channel);
void UnregisterLiveChannel(cnsLibnetProvider* channel);

}  // namespace tarvu
