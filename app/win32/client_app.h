#pragma once
// The application object of tarvu.exe: the main dialog and the application logic behind it,
// wired together as the Linux dialog wires them, the trace field's menu, the session
// record, and the message loop. The program and the benchmark start the client through it.

#include "app/main_dialog_logic.h"
#include "app/win32/main_dialog.h"
#include "app/win32/trace_menu.h"
#include "record/session_recorder.h"
#include "record/session_store.h"

#include <memory>
#include <string>
#include <windows.h>

namespace tarvu {
class Settings;
}  // namespace tarvu

namespace tarvu::win32 {

class ClientApp {
public:
    // `settings` outlives this object; `title` is the caption of the application's message
    // boxes. Only one ClientApp may exist at a time (the engine's callbacks reach one logic).
    ClientApp(HINSTANCE instance, Settings& settings, std::string title,
              ChannelService& channels = TransportChannels(),
              AddressQuery addresses = QueryLocalAddresses);
    // Closes the channel before the dialog that the worker traces into goes away.
    ~ClientApp();
    ClientApp(const ClientApp&) = delete;
    ClientApp& operator=(const ClientApp&) = delete;

    // False when the dialog's window could not be made.
    bool Valid() const { return dialog_.Valid(); }

    // tarvu --log / --pcap: the session written to these files as it runs (empty: none).
    // A file that cannot be opened is a message box; the dialog then runs without it. Call
    // before Start.
    void OpenRecordFiles(const std::string& logFile, const std::string& pcapFile);

    // The dialog's initialisation (settings into the fields, engine, channel), then shows it.
    // From then on another program may ask for the closing by setting the process's stop
    // event (the named event tarvu-cli.exe has too): the dialog closes as by its close box.
    void Start();

    // Runs the messages until the dialog has ended; the program's exit status.
    int Run();
    // One message, if any waits: for programs that run their own loop (the benchmark).
    // False once the dialog has ended.
    bool PumpMessages();

    MainDialog& Dialog() { return dialog_; }
    MainDialogLogic& Logic() { return logic_; }
    SessionStore& Store() { return store_; }
    TraceMenu& Menu() { return menu_; }

private:
    static void CALLBACK OnStopEvent(void* self, BOOLEAN timedOut);
    void CloseOnStopRequest();
    bool Dispatch(MSG& message);

    std::string title_;
    // Declared before the dialog and the logic, so they outlive the engine's last trace.
    SessionStore store_;
    std::unique_ptr<SessionRecorder> recorder_;
    MainDialog dialog_;
    // Declared after the dialog, so destroyed first.
    MainDialogLogic logic_;
    TraceMenu menu_;
    HANDLE stopEvent_ = nullptr;
    HANDLE stopWait_ = nullptr;
};

}  // namespace tarvu::win32
