#include "app/cli/scenario_link.h"

#include "app/cli/client_mode_view.h"
#include "app/cli/terminal_text.h"
#include "app/main_dialog_logic.h"
#include "app/settings.h"
#include "link/packet_cipher.h"
#include "platform/message_box.h"
#include "platform/stop_signal.h"
#include "trace/decoded_line.h"

#include <cstring>
#include <thread>

namespace tarvu::cli {
namespace {

// How long one wait sleeps before the stop request is looked at again.
constexpr auto kStopPoll = std::chrono::milliseconds(50);

PinnedFields PinnedFrom(const scenario::LinkSettings& link) {
    PinnedFields pinned;
    if (link.to) {
        std::array<uint8_t, 4> octets;
        std::memcpy(octets.data(), &link.to->address, octets.size());
        pinned.ipAddress = octets;
        pinned.sendPort = std::to_string(link.to->port);
    }
    if (link.listen) {
        pinned.readPort = std::to_string(*link.listen);
    }
    pinned.substitution = link.frame;
    return pinned;
}

}  // namespace

int64_t SystemMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

ScenarioLink::ScenarioLink(const scenario::LinkSettings& link, const std::string& settingsFile,
                           LineSink trace, RecordSink* recorder, ChannelService& channels)
    : link_(link), trace_(std::move(trace)), recorder_(recorder), channels_(channels) {
    settings_ = std::make_unique<Settings>(Settings::Locate(
        std::filesystem::path(std::u8string(settingsFile.begin(), settingsFile.end()))));
    settings_->SetReadOnly(true);
    view_ = std::make_unique<ClientModeView>(PinnedFrom(link_),
                                             [this](const std::string& line) { trace_(line); });
    logic_ = std::make_unique<MainDialogLogic>(*view_, *settings_, "tarvu-cli run", channels_);
}

ScenarioLink::~ScenarioLink() {
    Close();
}

bool ScenarioLink::Open(std::string& reason) {
    if (link_.key) {
        logic_->SetCipherMode(*link_.key, false);
    }
    if (link_.serial) {
        logic_->SetSerialMode(link_.serial->device, link_.serial->baudRate);
    }
    // Scripted sends keep their own time; the worker is free for replies at once.
    logic_->SetUserPacketWait(0);
    logic_->Session().SetDecode(true);
    logic_->AddRecordSink(this);
    if (recorder_ != nullptr) {
        logic_->AddRecordSink(recorder_);
    }
    // The transport says why a channel did not open in message boxes; they go to standard
    // error and into the reason.
    std::vector<std::string> messages;
    const MessageBoxHandler previous =
        SetMessageBoxHandler([&messages](const std::string& caption, const std::string& text) {
            messages.push_back(caption + ": " + text);
            PrintErrorLine("%s: %s", caption.c_str(), text.c_str());
        });
    logic_->Initialise();
    SetMessageBoxHandler(previous);
    frame_ = view_->Controls().SubstitutionChecked();
    if (logic_->ChannelOpen()) {
        return true;
    }
    for (const std::string& message : messages) {
        reason += (reason.empty() ? "" : "; ") + message;
    }
    if (reason.empty()) {
        reason = "channel 1 did not open";
    }
    return false;
}

bool ScenarioLink::WaitUntilSent() const {
    const uint8_t channel = logic_->Request().channelNumber;
    const auto limit = std::chrono::steady_clock::now() + kDrainLimit;
    while (logic_->ChannelOpen() && channels_.QueuedUserPackets(channel) != 0) {
        if (StopRequested() || std::chrono::steady_clock::now() >= limit) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

void ScenarioLink::Close() {
    if (logic_ && logic_->ChannelOpen()) {
        WaitUntilSent();
    }
    if (logic_) {
        // The closing steps write nothing: the settings are read-only.
        logic_->OkSteps();
    }
}

bool ScenarioLink::Send(const std::vector<uint8_t>& packet, std::string& error) {
    if (!logic_->ChannelOpen()) {
        error = "the channel is closed";
        return false;
    }
    if (!WaitUntilSent()) {
        error = StopRequested() ? "the run was interrupted"
                                : "the packet before it did not leave within " +
                                      std::to_string(kDrainLimit.count()) + " s";
        return false;
    }
    channels_.SubmitUserPacket(packet.data(), static_cast<uint16_t>(packet.size()));
    return true;
}

void ScenarioLink::Record(const TraceBlock& block, const std::string& /*line*/,
                          std::chrono::system_clock::time_point when) {
    if (block.direction != 0) {
        return;
    }
    if (block.stage == 0) {
        lastArrival_ =
            block.receivedMicros != 0
                ? block.receivedMicros
                : std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch())
                      .count();
        if (!frame_) {
            Arrived(block.data, block.length, lastArrival_);
        }
        return;
    }
    if (frame_) {
        Arrived(block.data, block.length, lastArrival_);
    }
}

void ScenarioLink::Arrived(const uint8_t* data, size_t n, int64_t arrivalMicros) {
    ArrivedPacket arrived;
    arrived.packet.assign(data, data + n);
    arrived.arrivalMicros = arrivalMicros;
    if (link_.key && n > 0 && (data[0] & 0x80) != 0) {
        std::vector<uint8_t> plain;
        if (DecryptLinkPacket(arrived.packet, *link_.key, plain)) {
            // Said below the trace line, on the tracing thread, so it stays in order.
            std::string line;
            AppendDecodedLine(line, plain);
            trace_(line);
            arrived.packet = std::move(plain);
        }
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(arrived));
    }
    arrived_.notify_all();
}

bool ScenarioLink::WaitFront(std::chrono::steady_clock::time_point until, ArrivedPacket& out) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (queue_.empty()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until || StopRequested()) {
            return false;
        }
        arrived_.wait_until(lock, std::min(until, now + kStopPoll));
    }
    out = queue_.front();
    return true;
}

void ScenarioLink::PopFront() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!queue_.empty()) {
        queue_.pop_front();
    }
}

void ScenarioLink::Discard() {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
}

bool ScenarioLink::Busy() const {
    const uint8_t channel = logic_->Request().channelNumber;
    return channels_.PendingSendSteps(channel) != 0 || channels_.QueuedUserPackets(channel) != 0;
}

}  // namespace tarvu::cli
