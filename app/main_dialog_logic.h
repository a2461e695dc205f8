#pragma once
// The main dialog's logic without a toolkit: start-up, the read-port reopen, "Send!", and the
// closing sequence. A front end (the Qt dialog or tarvu-cli) shows the controls through a
// DialogView and calls these operations on its user-interface thread.
//
// The engine's callbacks are plain function pointers; they reach the one live object through
// a process-wide pointer that is set for the object's lifetime. Only one may exist at a time.

#include "app/channel_service.h"
#include "app/dialog_view.h"
#include "app/local_addresses.h"
#include "app/message_callbacks.h"
#include "app/one_shot_timer.h"
#include "link/engine_config.h"
#include "link/receive_facts.h"
#include "trace/session_figures.h"
#include "trace/trace_log.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvu {

class Settings;

class MainDialogLogic {
public:
    // `title` is the caption of the application's message boxes. `view`, `settings` and
    // `channels` outlive this object.
    MainDialogLogic(DialogView& view, Settings& settings, std::string title,
                    ChannelService& channels = TransportChannels(),
                    AddressQuery addresses = QueryLocalAddresses);
    // Closes the channel if it is still open, so that no callback can reach a dead object.
    ~MainDialogLogic();
    MainDialogLogic(const MainDialogLogic&) = delete;
    MainDialogLogic& operator=(const MainDialogLogic&) = delete;

    // The start-up sequence: engine parameters and callbacks, hidden controls, address list,
    // the fields from the settings, StartEngine, channel record, OpenChannel. Runs once.
    void Initialise();
    bool Initialised() const { return initialised_; }

    // How long the read-port field must stay unchanged before a failure held back while the
    // engineer types is shown.
    static constexpr std::chrono::milliseconds kReadPortSettleTime{1000};

    // The front end's timer for the read-port field; without one (the command line) every
    // failure shows at once. Outlives this object.
    void SetReadPortTimer(OneShotTimer* timer) { readPortTimer_ = timer; }

    // Change notification of the read-port field: closes and reopens the channel once the
    // start-up has finished. A port that cannot be bound only because it needs privileges is
    // most often a number still being typed (1 on the way to 10001): its message boxes are
    // held back until the field has stayed unchanged for kReadPortSettleTime or loses the
    // focus, and dropped when a later change opens the channel. Other failures show at once.
    void OnReadPortChanged();
    // The read-port field lost the focus: a held-back failure shows now.
    void OnReadPortFocusLost();
    // Whether a failure is being held back.
    bool ReadPortFailureHeld() const { return !heldMessages_.empty(); }
    // Hidden button 1048: the same close and open, whatever the start-up state.
    void ReopenChannel();

    // "Send!".
    void Send();

    // Cipher mode for testing a converter's cipher (tarvu-cli --gost-key): the engine starts
    // with acceptUnconfigured 0 and the channel's record carries the cipher option, `key` and
    // the destination fields as the converter's address and port, so every packet leaves
    // encrypted; with `announceKey` the channel opens with a key exchange pending. Call
    // before Initialise.
    void SetCipherMode(const std::array<uint8_t, 32>& key, bool announceKey);
    // Serial mode (tarvu-cli --serial): the engine starts with acceptUnconfigured 0 and the
    // channel is a serial channel (kind 9) whose record carries `device` and `baudRate`.
    // False, and nothing changed, when the device name does not fit the record. Call before
    // Initialise.
    bool SetSerialMode(const std::string& device, uint32_t baudRate);
    // The wait after a typed packet (userPacketWait, 300 ms): scripted sends (tarvu-cli run,
    // --repeat) keep their own schedule and set 0, so the worker is free for the replies at
    // once. The dialog never calls it. Call before Initialise.
    void SetUserPacketWait(uint32_t ms) { userPacketWait_ = ms; }
    // Posts one send step on the open channel; its cycle builder refills an empty queue.
    // Any thread.
    void PostSendStep();

    // Closing sequence. OK (also Enter and the close box): OkSteps, then DestroySteps.
    // Escape: EscapeSteps (closes the channel first, then the destroy steps).
    void OkSteps();
    void DestroySteps();
    void EscapeSteps();

    // Engine callbacks, as methods of the live object.
    ChannelRecord* LookupChannel(const ChannelRequest& request);
    int SaveChannelKey(const ChannelRequest& channelRequest, const uint8_t* key32);
    void SetStatusText(int which, const char* text);
    MainWindow* GetMainWindow() { return &view_.Controls(); }
    int TraceData(const TraceBlock& block);
    // What the transport tells beside the engine's trace: a datagram of no bytes, which the
    // engine does not deliver but which was on the wire (traced as a received block of no
    // bytes, so the capture has it too), and datagrams the system dropped after the last one
    // received (a gap line when the channel closes).
    void TraceEmptyDatagram(const nsAddress& sender, const ReceiveFacts& facts);
    void TraceDroppedAfterLast(uint32_t count);

    const EngineConfig& Config() const { return config_; }
    const ChannelRequest& Request() const { return request_; }
    bool ChannelOpen() const;
    // The session record's receivers of every traced block; add them before Initialise.
    void AddRecordSink(RecordSink* sink) { traceLog_.AddRecordSink(sink); }
    MessageCallbacks& Messages() { return messages_; }
    // Decoded lines (SetDecode) and the session's figures, fed by the trace.
    SessionTracker& Session() { return session_; }
    // Datagrams received on the channel since start-up (blocks traced as received).
    uint64_t ReceivedDatagrams() const { return received_.load(); }

    // The live object, or null.
    static MainDialogLogic* Live();

private:
    struct HeldMessage {
        std::string caption;
        std::string text;
    };

    void ShowMessage(const std::string& text) const;
    void ShowHeldMessages();
    void DropHeldMessages();
    void FillAddressList();
    void LoadFields();
    void CloseChannelOnce();
    void OpenChannel(const char* failureText);

    DialogView& view_;
    Settings& settings_;
    std::string title_;
    ChannelService& channels_;
    AddressQuery addresses_;

    EngineConfig config_;
    std::array<ChannelRecord, 1> records_ = {};
    ChannelRequest request_;
    MessageCallbacks messages_;
    SessionTracker session_;
    TraceLog traceLog_;
    std::array<uint8_t, 512> packet_ = {};
    uint16_t packetLength_ = 0;

    std::optional<uint32_t> userPacketWait_;
    bool cipherMode_ = false;
    bool announceKey_ = false;
    std::array<uint8_t, 32> cipherKey_ = {};
    bool serialMode_ = false;
    std::string serialDevice_;
    uint32_t serialBaudRate_ = 0;

    bool initialised_ = false;
    // The fields hold what the settings file gave them; only then do the closing steps save them.
    bool fieldsLoaded_ = false;
    std::atomic<uint64_t> received_{0};

    OneShotTimer* readPortTimer_ = nullptr;
    std::vector<HeldMessage> heldMessages_;
};

}  // namespace tarvu
