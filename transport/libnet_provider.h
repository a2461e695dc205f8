#pragma once
// One open channel: its link-protocol state (LinkChannel) and its transport, the cnsIoDriver
// with the channel's socket, the step timer and the running and receiving flags. The object's
// address is the completion key of every operation of its driver.

#include "link/engine_config.h"
#include "link/link_channel.h"
#include "link/link_transport.h"
#include "platform/waitable_timer.h"
#include "transport/io_driver.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tarvu {

class cnsLibnetProvider final : public LinkTransport {
public:
    // Builds the channel for `request` from `record` (the blank default record when the engine
    // accepts unconfigured channels). Failed() reports a refused or unopened channel, after the
    // user has been shown why.
    cnsLibnetProvider(const ChannelRequest& request, const ChannelRecord& record);
    ~cnsLibnetProvider() override;
    cnsLibnetProvider(const cnsLibnetProvider&) = delete;
    cnsLibnetProvider& operator=(const cnsLibnetProvider&) = delete;

    bool Failed() const { return failed_; }

    // Tells the user that a UDP channel is open already ("Такой ИП уже был открыт!!!").
    static void ReportAlreadyOpen();

    // Clears the flags, wakes a sleeping send step, shuts the driver down and destroys it.
    void Stop();

    LinkChannel& Link() { return *link_; }
    cnsIoDriver* Driver() { return driver_.get(); }
    // The driver was opened (set before its first receive can complete).
    bool HasOpenedDriver() const { return driver_ && driver_->IsOpen(); }

    uint32_t Running() const { return running_.load(); }
    uint32_t Receiving() const { return receiving_.load(); }
    void SetRunning(uint32_t value);

    // Send-step completions posted and not yet taken by a worker (run or skipped).
    uint32_t PendingSendSteps() const { return pendingSteps_.load(); }
    // The worker has taken one send-step completion of this channel.
    void SendStepTaken() { pendingSteps_.fetch_sub(1); }

    // LinkTransport.
    int Send(const nsAddress& destination, const uint8_t* data, size_t n) override;
    void PostTimerSend() override;
    void SleepOnStepTimer(uint32_t milliseconds) override;
    bool IsRunning() const override { return running_.load() == 1; }
    uint32_t SerialBaudRate() const override { return serialBaudRate_; }
    const char* SerialDeviceName() const override { return serialDeviceName_.c_str(); }

    // Pins held by worker threads (guarded by the channel table's lock).
    int pins = 0;

private:
    bool AlreadyOpen(const ChannelRecord& record) const;
    void OpenDriver();

    std::atomic<uint32_t> running_{0};
    std::atomic<uint32_t> receiving_{0};
    std::atomic<uint32_t> pendingSteps_{0};
    uint32_t serialBaudRate_ = 0;
    std::string serialDeviceName_;
    WaitableTimer stepTimer_;
    std::unique_ptr<LinkChannel> link_;
    std::unique_ptr<cnsIoDriver> driver_;
    bool failed_ = false;
};

}  // namespace tarvu
