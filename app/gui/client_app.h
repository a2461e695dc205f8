#pragma once
// The application object: the main dialog and the application logic behind it, wired
// together. The program, the GUI tests and the responsiveness benchmark all start the client
// through it, so they run the same wiring.

#include "app/gui/decode_controls.h"
#include "app/gui/main_dialog.h"
#include "app/gui/qt_one_shot_timer.h"
#include "app/gui/session_record_menu.h"
#include "app/gui/trace_menu.h"
#include "app/main_dialog_logic.h"
#include "record/session_recorder.h"
#include "record/session_store.h"

#include <memory>
#include <string>

namespace tarvu {

class Settings;

class ClientApp {
public:
    // `settings` outlives this object; `title` is the caption of the application's message
    // boxes. Only one ClientApp may exist at a time (the engine's callbacks reach one logic).
    ClientApp(Settings& settings, std::string title, ChannelService& channels = TransportChannels(),
              AddressQuery addresses = QueryLocalAddresses);
    // Closes the channel before the dialog that the worker traces into goes away.
    ~ClientApp();
    ClientApp(const ClientApp&) = delete;
    ClientApp& operator=(const ClientApp&) = delete;

    // tarvu --log / --pcap: the session written to these files as it runs (empty: none).
    // A file that cannot be opened is a message box; the dialog then runs without it. Call
    // before Start.
    void OpenRecordFiles(const std::string& logFile, const std::string& pcapFile);

    // The dialog's initialisation (settings into the fields, engine, channel), then shows it.
    void Start();

    MainDialog& Dialog() { return dialog_; }
    MainDialogLogic& Logic() { return logic_; }
    DecodeControls& Decode() { return decode_; }
    SessionStore& Store() { return store_; }
    SessionRecordMenu& RecordMenu() { return *recordMenu_; }
    TraceMenu& Menu() { return traceMenu_; }

private:
    std::string title_;
    // Declared before the dialog and the logic, so they outlive the engine's last trace.
    SessionStore store_;
    std::unique_ptr<SessionRecorder> recorder_;
    QtOneShotTimer readPortTimer_;
    MainDialog dialog_;
    // Declared after the dialog, so destroyed first.
    MainDialogLogic logic_;
    DecodeControls decode_;
    SessionRecordMenu* recordMenu_ = nullptr;  // owned by the dialog
    // The trace field's context menu, which every feature above joins.
    TraceMenu traceMenu_;
};

}  // namespace tarvu
