#pragma once
// One scenario file's link: the dialog's logic over the engine's channel 1, as the client mode
// runs it, with the file's header statements pinned into the fields, the settings file read
// but never written, and scripted sends that leave at once (userPacketWait 0). Every packet
// the channel receives is queued with the moment it reached the socket: the kernel's time
// when the trace carries it, else the moment it was traced.

#include "app/channel_service.h"
#include "app/cli/script_link.h"
#include "scenario/link_header.h"
#include "trace/record_sink.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarvu {
class MainDialogLogic;
class Settings;
}  // namespace tarvu

namespace tarvu::cli {

class ClientModeView;

class ScenarioLink final : public ScriptLink, private RecordSink {
public:
    using LineSink = std::function<void(const std::string& line)>;
    // The longest wait for the worker to send what was handed over.
    static constexpr std::chrono::seconds kDrainLimit{5};

    // `settingsFile` empty: the usual place. `trace` takes every trace line (any thread, must
    // not block). `recorder` (may be null) receives every traced block too.
    ScenarioLink(const scenario::LinkSettings& link, const std::string& settingsFile,
                 LineSink trace, RecordSink* recorder, ChannelService& channels);
    ~ScenarioLink() override;

    // Starts the engine and opens the channel. False when it did not open; the reasons the
    // transport gave are in `reason`.
    bool Open(std::string& reason);
    // Closes the channel; nothing is traced afterwards.
    void Close();
    // The read port as bound, and the fields for the session record's header.
    const MainDialogLogic& Logic() const { return *logic_; }
    MainDialogLogic& Logic() { return *logic_; }

    bool Send(const std::vector<uint8_t>& packet, std::string& error) override;
    bool WaitFront(std::chrono::steady_clock::time_point until, ArrivedPacket& out) override;
    void PopFront() override;
    void Discard() override;
    bool Busy() const override;

private:
    void Record(const TraceBlock& block, const std::string& line,
                std::chrono::system_clock::time_point when) override;
    // Waits until every packet handed over has left: the engine puts a typed packet ahead of
    // those already queued, so handing them over one at a time keeps their order, and closing
    // only then loses none. False on a stop request or after kDrainLimit.
    bool WaitUntilSent() const;
    void Arrived(const uint8_t* data, size_t n, int64_t arrivalMicros);

    scenario::LinkSettings link_;
    LineSink trace_;
    RecordSink* recorder_;
    ChannelService& channels_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<ClientModeView> view_;
    std::unique_ptr<MainDialogLogic> logic_;
    bool frame_ = false;
    int64_t lastArrival_ = 0;  // of the datagram whose frames are being traced

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<ArrivedPacket> queue_;
};

}  // namespace tarvu::cli
