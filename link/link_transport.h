#pragma once
// What a channel's link state needs from the transport beneath it. The transport's
// cnsLibnetProvider implements it; tests use a fake.

#include "link/ns_address.h"

#include <cstddef>
#include <cstdint>

namespace tarvu {

class LinkTransport {
public:
    virtual ~LinkTransport() = default;

    // Hands one buffer to the channel's driver as an overlapped send. The transport keeps its
    // own copy of the bytes until the send has completed. Returns 0 sent, 1 pending,
    // -1 failed, -2 driver not open.
    virtual int Send(const nsAddress& destination, const uint8_t* data, size_t n) = 0;

    // Posts one send-step completion for this channel (sets running and receiving to 1).
    virtual void PostTimerSend() = 0;

    // Sleeps on the channel's step timer; returns early when the channel is being closed.
    virtual void SleepOnStepTimer(uint32_t milliseconds) = 0;

    // The running flag, read atomically.
    virtual bool IsRunning() const = 0;

    // Serial channels: the baud rate (0 for UDP) and the device name.
    virtual uint32_t SerialBaudRate() const { return 0; }
    virtual const char* SerialDeviceName() const { return ""; }
};

}  // namespace tarvu
