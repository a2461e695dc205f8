#include "app/win32/client_app.h"

#include "app/session_settings.h"
#include "platform/message_box.h"
#include "platform/stop_signal.h"
#include "platform/win32/system_text.h"
#include "trace/session_figures.h"

#include <utility>

namespace tarvu::win32 {
namespace {

// Closes the modal windows of this thread (message boxes, the About box, a save dialog) and
// an open menu, so that the dialog's closing is not held up by a box nobody dismisses.
BOOL CALLBACK CloseModalWindow(HWND window, LPARAM dialog) {
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    if (window != reinterpret_cast<HWND>(dialog) && std::wstring(name) == L"#32770") {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

}  // namespace

ClientApp::ClientApp(HINSTANCE instance, Settings& settings, std::string title,
                     ChannelService& channels, AddressQuery addresses)
    : title_(title),
      dialog_(instance),
      logic_(dialog_, settings, std::move(title), channels, std::move(addresses)),
      menu_(dialog_, instance, store_, logic_.Session(), settings) {
    logic_.SetReadPortTimer(&dialog_.ReadPortTimer());
    // The read port may change while the session runs; each block keeps the one it had.
    store_.SetLocalPortSource([this] { return CurrentReadPort(*logic_.GetMainWindow()); });
    logic_.AddRecordSink(&store_);
    DialogHooks hooks;
    hooks.readPortChanged = [this] { logic_.OnReadPortChanged(); };
    hooks.readPortFocusLost = [this] { logic_.OnReadPortFocusLost(); };
    hooks.send = [this] { logic_.Send(); };
    // OK, Enter, the close box and the end of the session: the closing records, then the
    // fields, as the window goes.
    hooks.ok = [this] {
        logic_.OkSteps();
        logic_.DestroySteps();
    };
    hooks.escape = [this] { logic_.EscapeSteps(); };
    // "Clear trace" starts the saved session afresh, as it does the field.
    hooks.traceCleared = [this] { store_.Clear(); };
    hooks.traceMenu = [this](POINT where) { menu_.Show(where); };
    hooks.traceLabelTip = [this] { return menu_.FiguresText(); };
    hooks.traffic = [this](uint64_t& sent, uint64_t& received) {
        const SessionFigures figures = logic_.Session().Figures();
        sent = figures.datagramsSent;
        received = figures.datagramsReceived;
    };
    dialog_.SetHooks(std::move(hooks));
}

ClientApp::~ClientApp() {
    if (stopWait_ != nullptr) {
        // Waits for a callback that is running, so none reaches this object afterwards.
        ::UnregisterWaitEx(stopWait_, INVALID_HANDLE_VALUE);
    }
    if (stopEvent_ != nullptr) {
        ::CloseHandle(stopEvent_);
    }
    // Nothing the dialog does while it goes away may reach the logic any more.
    dialog_.SetHooks({});
}

void ClientApp::OpenRecordFiles(const std::string& logFile, const std::string& pcapFile) {
    if (logFile.empty() && pcapFile.empty()) {
        return;
    }
    // Failures while the session runs come from the writer thread; show them on ours.
    recorder_ = std::make_unique<SessionRecorder>([this](const std::string& message) {
        dialog_.Post([title = title_, message] { ShowMessageBox(title, message); });
    });
    std::string error;
    if (!logFile.empty() && !recorder_->OpenLog(logFile, error)) {
        ShowMessageBox(title_, error + "\nThe session runs without a log file.");
    }
    if (!pcapFile.empty() && !recorder_->OpenCapture(pcapFile, error)) {
        ShowMessageBox(title_, error + "\nThe session runs without a capture file.");
    }
    recorder_->SetLocalPortSource([this] { return CurrentReadPort(*logic_.GetMainWindow()); });
    logic_.AddRecordSink(recorder_.get());
}

void ClientApp::Start() {
    logic_.Initialise();
    if (recorder_) {
        recorder_->Start(CurrentSessionSettings(*logic_.GetMainWindow(), {}), 0,
                         CurrentReadPort(*logic_.GetMainWindow()));
    }
    dialog_.Show();
    stopEvent_ =
        ::CreateEventW(nullptr, TRUE, FALSE, Wide(StopEventName(::GetCurrentProcessId())).c_str());
    if (stopEvent_ != nullptr &&
        !::RegisterWaitForSingleObject(&stopWait_, stopEvent_, OnStopEvent, this, INFINITE,
                                       WT_EXECUTEONLYONCE)) {
        stopWait_ = nullptr;
    }
}

void CALLBACK ClientApp::OnStopEvent(void* self, BOOLEAN /*timedOut*/) {
    auto* app = static_cast<ClientApp*>(self);
    app->dialog_.Post([app] { app->CloseOnStopRequest(); });
}

void ClientApp::CloseOnStopRequest() {
    // Nobody may be at the screen to dismiss a box the closing raises (a settings file that
    // cannot be written): from now on messages go to standard error.
    SetMessageBoxHandler({});
    ::EndMenu();
    ::EnumThreadWindows(::GetCurrentThreadId(), CloseModalWindow,
                        reinterpret_cast<LPARAM>(dialog_.Handle()));
    // Posted after the boxes' own closing, so it runs once their loops have returned.
    dialog_.Close();
}

bool ClientApp::Dispatch(MSG& message) {
    HWND dialog = dialog_.Handle();
    // Every message is offered to accelerator table 134 first, then to the dialog's keyboard
    // handling (Tab, Enter for OK, Escape).
    if (dialog != nullptr && (message.hwnd == dialog || ::IsChild(dialog, message.hwnd))) {
        if (dialog_.Accelerators() != nullptr &&
            ::TranslateAcceleratorW(dialog, dialog_.Accelerators(), &message)) {
            return true;
        }
        if (::IsDialogMessageW(dialog, &message)) {
            return true;
        }
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
    return true;
}

int ClientApp::Run() {
    MSG message;
    BOOL got;
    while ((got = ::GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            return 1;
        }
        Dispatch(message);
    }
    return static_cast<int>(message.wParam);
}

bool ClientApp::PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            return false;
        }
        Dispatch(message);
    }
    return dialog_.Valid();
}

}  // namespace tarvu::win32
