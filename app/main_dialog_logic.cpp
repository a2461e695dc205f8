#include "app/main_dialog_logic.h"

#include "app/control_state.h"
#include "app/packet_text.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "link/engine.h"
#include "link/hex_text.h"
#include "link/link_channel.h"
#include "link/main_window.h"
#include "link/receive_facts.h"
#include "platform/completion_port.h"
#include "platform/message_box.h"
#include "trace/receive_note_line.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

namespace tarvu {
namespace {

// Link parameters 0 to 14 as this client runs the engine.
constexpr std::array<uint32_t, kLinkParameterCount> kLinkParameterValues = {
    0, 0, 0, 300, 2000, 3000, 10000, 0, 1, 3, 3, 10, 3, 1000, 5};

constexpr uint8_t kAppChannelNumber = 1;
constexpr uint32_t kAppDeviceType = 819;
constexpr uint32_t kAppRemotePort = 10001;
constexpr uint32_t kDefaultLocalPort = 10001;

std::atomic<MainDialogLogic*> gLive{nullptr};

// The state the engine sees when no dialog is alive: blank fields, switch off.
ControlState& BlankControls() {
    static ControlState blank;
    return blank;
}

ChannelRecord* LookupChannelCallback(const ChannelRequest* request) {
    MainDialogLogic* live = MainDialogLogic::Live();
    return live != nullptr && request != nullptr ? live->LookupChannel(*request) : nullptr;
}

int TraceDataCallback(const LinkChannel* /*channel*/, const uint8_t* data, uint32_t length,
                      int direction, const nsAddress* peer, uint32_t port, int stage) {
    MainDialogLogic* live = MainDialogLogic::Live();
    if (live == nullptr) {
        return 1;
    }
    TraceBlock block =
        MakeTraceBlock(data, length, direction, peer != nullptr ? peer->address : 0, port, stage);
    // A received block comes with what the system told about its datagram, when it told.
    const ReceiveFacts* facts = CurrentReceiveFacts();
    if (direction == 0 && facts != nullptr) {
        ApplyReceiveFacts(block, *facts);
    }
    return live->TraceData(block);
}

void EmptyDatagramNote(const nsAddress& sender, const ReceiveFacts& facts) {
    if (MainDialogLogic* live = MainDialogLogic::Live()) {
        live->TraceEmptyDatagram(sender, facts);
    }
}

void DroppedAfterLastNote(uint32_t count) {
    if (MainDialogLogic* live = MainDialogLogic::Live()) {
        live->TraceDroppedAfterLast(count);
    }
}

int DescribeMessageCallback(MessageRecord* message) {
    MainDialogLogic* live = MainDialogLogic::Live();
    return live != nullptr && message != nullptr ? live->Messages().DescribeMessage(*message) : 1;
}

uint16_t FetchMessageCallback(const ChannelRequest* /*request*/, MessageRecord* out, int take) {
    MainDialogLogic* live = MainDialogLogic::Live();
    return live != nullptr && out != nullptr ? live->Messages().FetchMessage(out, take) : 0;
}

int SaveChannelKeyCallback(const LinkChannel* channel, const uint8_t* key32) {
    MainDialogLogic* live = MainDialogLogic::Live();
    if (live == nullptr || channel == nullptr || key32 == nullptr) {
        return 0;
    }
    return live->SaveChannelKey(channel->Request(), key32);
}

void SetStatusTextCallback(int which, const char* text) {
    if (MainDialogLogic* live = MainDialogLogic::Live()) {
        live->SetStatusText(which, text);
    }
}

// Collects the message boxes that the constructing thread shows while the object lives; boxes
// of other threads go on to the handler that was installed before.
class MessageBoxCapture {
public:
    explicit MessageBoxCapture(std::vector<std::pair<std::string, std::string>>& captured)
        : previous_(std::make_shared<MessageBoxHandler>()) {
        const std::thread::id owner = std::this_thread::get_id();
        // Only the opening thread shows boxes while a channel opens, so nothing reads
        // `previous` before it is filled in just below.
        *previous_ = SetMessageBoxHandler([&captured, owner, previous = previous_](
                                              const std::string& caption, const std::string& text) {
            if (std::this_thread::get_id() == owner) {
                captured.emplace_back(caption, text);
            } else if (*previous) {
                (*previous)(caption, text);
            }
        });
    }
    ~MessageBoxCapture() { SetMessageBoxHandler(*previous_); }
    MessageBoxCapture(const MessageBoxCapture&) = delete;
    MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

private:
    std::shared_ptr<MessageBoxHandler> previous_;
};

MainWindow* GetMainWindowCallback() {
    MainDialogLogic* live = MainDialogLogic::Live();
    return live != nullptr ? live->GetMainWindow() : &BlankControls();
}

}  // namespace

MainDialogLogic::MainDialogLogic(DialogView& view, Settings& settings, std::string title,
                                 ChannelService& channels, AddressQuery addresses)
    : view_(view),
      settings_(settings),
      title_(std::move(title)),
      channels_(channels),
      addresses_(std::move(addresses)),
      messages_(static_cast<uint16_t>(kLinkParameterValues[kMessageRepeats]),
                [&settings](const std::string& section, const std::string& key,
                            const std::string& value) { settings.Write(section, key, value); }),
      traceLog_(nullptr, [&view](const std::string& line) { view.AppendTraceLine(line); }) {
    settings_.SetMessageCaption(title_);
    traceLog_.SetAnnotator([this](const TraceBlock& block, std::string& text) {
        const MainWindow& controls = view_.Controls();
        TraceContext context;
        context.substitution = controls.SubstitutionChecked();
        if (block.direction == 0 && block.stage == 0) {
            context.destinationAddress = DestinationAddress(controls);
            context.destinationPort =
                static_cast<uint16_t>(PortFieldValue(controls.SendPortText()));
        }
        session_.Observe(block, context, text);
    });
    MainDialogLogic* expected = nullptr;
    // A second live object would silently steal the first one's callbacks.
    if (!gLive.compare_exchange_strong(expected, this)) {
        std::fprintf(stderr, "tarvu: a second main dialog was created\n");
        std::abort();
    }
}

MainDialogLogic::~MainDialogLogic() {
    DropHeldMessages();
    CloseChannelOnce();
    if (initialised_) {
        SetReceiveNoteHandlers({});
    }
    gLive.store(nullptr);
}

MainDialogLogic* MainDialogLogic::Live() {
    return gLive.load();
}

void MainDialogLogic::ShowMessage(const std::string& text) const {
    ShowMessageBox(title_, text);
}

bool MainDialogLogic::ChannelOpen() const {
    return request_.channelNumber != 0 && channels_.IsOpen(request_.channelNumber);
}

void MainDialogLogic::CloseChannelOnce() {
    if (ChannelOpen()) {
        channels_.Close(request_);
    }
}

void MainDialogLogic::Initialise() {
    if (initialised_) {
        return;
    }
    request_.channelNumber = kAppChannelNumber;
    for (size_t i = 0; i < kLinkParameterCount; ++i) {
        config_.parameters[i] = kLinkParameterValues[i];
    }
    if (userPacketWait_) {
        config_.parameters[kUserPacketWait] = *userPacketWait_;
    }
    config_.callbacks.LookupChannel = LookupChannelCallback;
    config_.callbacks.DescribeMessage = DescribeMessageCallback;
    config_.callbacks.TraceData = TraceDataCallback;
    config_.callbacks.FetchMessage = FetchMessageCallback;
    config_.callbacks.SaveChannelKey = SaveChannelKeyCallback;
    config_.callbacks.SetStatusText = SetStatusTextCallback;
    config_.callbacks.GetMainWindow = GetMainWindowCallback;
    ReceiveNoteHandlers notes;
    notes.EmptyDatagram = EmptyDatagramNote;
    notes.DroppedAfterLast = DroppedAfterLastNote;
    SetReceiveNoteHandlers(notes);
    session_.SetSystemDropsKnown(CompletionPort::CountsSocketDrops());
    view_.ResetHiddenControls();

    FillAddressList();
    LoadFields();

    config_.size = kEngineConfigSize;
    if (config_.localPort == 0) {
        config_.localPort = kDefaultLocalPort;
    }
    // Only a cipher test or a serial line configures the channel from its record.
    StartEngine(&config_, cipherMode_ || serialMode_ ? 0 : 1);

    request_.kind = serialMode_ ? kChannelKindSerial : kChannelKindUdp;
    request_.channelNumber = kAppChannelNumber;
    ChannelRecord& record = records_[request_.recordIndex];
    record.deviceType = kAppDeviceType;
    record.flags = (record.flags & ~kChannelDisabled) | kChannelConfigured;
    record.options &= ~kOptionCipher;
    record.remoteAddress = 0xFFFFFFFFu;
    record.remotePort = kAppRemotePort;
    if (cipherMode_) {
        record.options |= kOptionCipher;
        record.key = cipherKey_;
        const Octets octets = view_.IpAddress();
        std::memcpy(&record.remoteAddress, octets.data(), octets.size());  // network order
        const int port = PortFieldValue(view_.SendPortText());
        record.remotePort = port >= 0 && port <= 0xFFFF ? static_cast<uint32_t>(port) : 0;
    }
    if (serialMode_) {
        // The port field of the record carries a serial channel's baud rate.
        record.remotePort = serialBaudRate_;
        record.serialDevice.fill('\0');
        std::copy(serialDevice_.begin(), serialDevice_.end(), record.serialDevice.begin());
    }

    // The number is always 2, whichever channel was meant.
    OpenChannel("Не смог открыть устройство № 2");
    initialised_ = true;
}

void MainDialogLogic::SetCipherMode(const std::array<uint8_t, 32>& key, bool announceKey) {
    cipherMode_ = true;
    announceKey_ = announceKey;
    cipherKey_ = key;
}

bool MainDialogLogic::SetSerialMode(const std::string& device, uint32_t baudRate) {
    // The record holds the name with its terminating NUL; a longer name is refused, not cut.
    if (device.empty() || device.size() >= ChannelRecord{}.serialDevice.size() ||
        device.find('\0') != std::string::npos || baudRate == 0) {
        return false;
    }
    serialMode_ = true;
    serialDevice_ = device;
    serialBaudRate_ = baudRate;
    return true;
}

void MainDialogLogic::OpenChannel(const char* failureText) {
    if (channels_.Open(request_) != 0) {
        ShowMessage(failureText);
    }
    if (cipherMode_ && announceKey_ && ChannelOpen()) {
        channels_.BeginKeyExchange(request_.channelNumber);
    }
}

void MainDialogLogic::PostSendStep() {
    // The transport pins the channel; a closed one takes nothing.
    channels_.PostSendStep(request_.channelNumber);
}

void MainDialogLogic::FillAddressList() {
    view_.ClearAddressList();
    std::vector<LocalAddress> addresses;
    if (!addresses_ || !addresses_(addresses)) {
        // The list stays empty; the rest of the start-up does not depend on it.
        std::fputs("GetAdaptersInfo fail\n", stderr);
        std::fflush(stderr);
        return;
    }
    for (const LocalAddress& entry : addresses) {
        view_.AddAddressLine(FormatAddressLine(entry.address, entry.mask));
    }
}

void MainDialogLogic::LoadFields() {
    const std::string substitution =
        settings_.ReadWithDefault(kSectionUdp, kKeySubstitution, kValueNo);
    view_.SetSubstitutionChecked(substitution != kValueNo);
    view_.SetReadPortText(settings_.ReadWithDefault(kSectionUdp, kKeyReadPort, kDefaultPort));
    view_.SetSendPortText(settings_.ReadWithDefault(kSectionUdp, kKeySendPort, kDefaultPort));
    const std::string address =
        settings_.ReadWithDefault(kSectionUdp, kKeyIpAddress, kDefaultIpAddress);
    if (!address.empty()) {
        view_.SetIpAddress(DottedAddressOrNone(address));
    }
    view_.SetPacketText(settings_.ReadWithDefault(kSectionUdp, kKeyPacket, kDefaultPacket));
    fieldsLoaded_ = true;
}

void MainDialogLogic::OnReadPortChanged() {
    if (!initialised_) {
        return;
    }
    // Whatever was held concerned the text before this change.
    DropHeldMessages();
    std::vector<std::pair<std::string, std::string>> shown;
    {
        MessageBoxCapture capture(shown);
        ReopenChannel();
    }
    const bool privilegedPort =
        !ChannelOpen() && channels_.LastOpenBindFailure() == BindFailure::kAccessDenied;
    if (privilegedPort && readPortTimer_ != nullptr && !shown.empty()) {
        for (auto& [caption, text] : shown) {
            heldMessages_.push_back({std::move(caption), std::move(text)});
        }
        readPortTimer_->Start(kReadPortSettleTime, [this] { ShowHeldMessages(); });
        return;
    }
    for (const auto& [caption, text] : shown) {
        ShowMessageBox(caption, text);
    }
}

void MainDialogLogic::OnReadPortFocusLost() {
    ShowHeldMessages();
}

void MainDialogLogic::ShowHeldMessages() {
    // Taken first: a modal box runs an event loop that may bring the next change or focus loss.
    std::vector<HeldMessage> held = std::move(heldMessages_);
    DropHeldMessages();
    for (const HeldMessage& message : held) {
        ShowMessageBox(message.caption, message.text);
    }
}

void MainDialogLogic::DropHeldMessages() {
    heldMessages_.clear();
    if (readPortTimer_ != nullptr) {
        readPortTimer_->Stop();
    }
}

void MainDialogLogic::ReopenChannel() {
    channels_.Close(request_);
    OpenChannel("Не смог открыть устройство");
}

void MainDialogLogic::Send() {
    std::string stored = settings_.ReadWithDefault(kSectionUdp, kKeyPacket, kDefaultPacket);
    const std::string typed = view_.PacketText();
    if (!typed.empty()) {
        std::string normalised = NormalisePacketText(typed);
        view_.SetPacketText(normalised);
        if (normalised != stored) {
            settings_.Write(kSectionUdp, kKeyPacket, normalised);
            stored = std::move(normalised);
        }
    }
    const std::vector<uint8_t> bytes = PacketTextToBytes(stored);
    if (bytes.size() > packet_.size()) {
        // Cutting the packet would send something the engineer did not type.
        ShowMessage("Пакет длиннее " + std::to_string(packet_.size()) + " байт (" +
                    std::to_string(bytes.size()) + "): не послан");
        return;
    }
    std::copy(bytes.begin(), bytes.end(), packet_.begin());
    packetLength_ = static_cast<uint16_t>(bytes.size());
    channels_.SubmitUserPacket(packet_.data(), packetLength_);
}

void MainDialogLogic::OkSteps() {
    DropHeldMessages();
    settings_.Write(kSectionUdp, kKeyMacAddress, view_.PacketText());
    settings_.Write(kSectionCipher, kKeyRsaGost, kValueNo);
    CloseChannelOnce();
    // The worker has ended, so nothing else touches the pending list now.
    messages_.ClearPending();
}

void MainDialogLogic::EscapeSteps() {
    DropHeldMessages();
    // Close before the view goes away: the worker may otherwise still trace into it.
    CloseChannelOnce();
    DestroySteps();
}

void MainDialogLogic::DestroySteps() {
    if (!fieldsLoaded_) {
        // The fields never showed the stored values; saving them would replace those.
        return;
    }
    const Octets address = view_.IpAddress();
    if (address != Octets{0, 0, 0, 0}) {
        settings_.Write(kSectionUdp, kKeyIpAddress, FormatDottedAddress(address));
    }
    settings_.SaveIfChanged(kSectionUdp, kKeySubstitution,
                            view_.SubstitutionChecked() ? kValueYes : kValueNo);
    const std::string readPort = view_.ReadPortText();
    settings_.SaveIfChanged(kSectionUdp, kKeyReadPort,
                            readPort.empty() ? std::string(kDefaultPort) : readPort);
    const std::string sendPort = view_.SendPortText();
    settings_.SaveIfChanged(kSectionUdp, kKeySendPort,
                            sendPort.empty() ? std::string(kDefaultPort) : sendPort);
}

ChannelRecord* MainDialogLogic::LookupChannel(const ChannelRequest& request) {
    return request.recordIndex < records_.size() ? &records_[request.recordIndex] : nullptr;
}

int MainDialogLogic::SaveChannelKey(const ChannelRequest& channelRequest, const uint8_t* key32) {
    if (ChannelRecord* record = LookupChannel(channelRequest)) {
        std::copy(key32, key32 + record->key.size(), record->key.begin());
    }
    settings_.Write(ChannelSection(static_cast<int>(channelRequest.channelNumber)), kKeyGostKey,
                    FormatHexBytes(key32, 32));
    return 0;
}

void MainDialogLogic::SetStatusText(int which, const char* text) {
    if (which == 0 || which == 1) {
        view_.SetStatusText(which, text != nullptr ? text : "");
    }
}

int MainDialogLogic::TraceData(const TraceBlock& block) {
    if (block.direction == 0 && block.stage == 0) {
        received_.fetch_add(1);
    }
    return traceLog_.TraceData(block);
}

void MainDialogLogic::TraceEmptyDatagram(const nsAddress& sender, const ReceiveFacts& facts) {
    // Traced as the engine traces a block of no bytes: the line ends after the arrow.
    TraceBlock block = MakeTraceBlock(nullptr, 0, 0, sender.address, sender.port, 0);
    ApplyReceiveFacts(block, facts);
    TraceData(block);
}

void MainDialogLogic::TraceDroppedAfterLast(uint32_t count) {
    traceLog_.TraceNote(session_.ObserveDroppedAfterLast(count));
}

}  // namespace tarvu
