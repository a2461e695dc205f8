#include "app/gui/client_app.h"

#include "app/gui/dialog_controls.h"
#include "app/gui/trace_view.h"
#include "app/session_settings.h"
#include "platform/message_box.h"

#include <QAbstractButton>
#include <QApplication>

#include <utility>

namespace tarvu {

ClientApp::ClientApp(Settings& settings, std::string title, ChannelService& channels,
                     AddressQuery addresses)
    : title_(title),
      logic_(dialog_, settings, std::move(title), channels, std::move(addresses)),
      decode_(dialog_, logic_.Session(), settings),
      traceMenu_(dialog_.Trace()) {
    logic_.SetReadPortTimer(&readPortTimer_);
    // The read port may change while the session runs; each block keeps the one it had.
    store_.SetLocalPortSource([this] { return CurrentReadPort(*logic_.GetMainWindow()); });
    logic_.AddRecordSink(&store_);
    if (auto* clear = dialog_.findChild<QAbstractButton*>(control::Name(control::kClearTrace))) {
        recordMenu_ = new SessionRecordMenu(dialog_.Trace(), *clear, store_,
                                            *logic_.GetMainWindow(), &dialog_);
        traceMenu_.AddSection([this](QMenu& menu) { recordMenu_->AddItems(menu); });
    }
    traceMenu_.AddSection([this](QMenu& menu) { decode_.AddItems(menu); });
    DialogHooks hooks;
    hooks.readPortChanged = [this](const std::string&) { logic_.OnReadPortChanged(); };
    hooks.readPortFocusLost = [this] { logic_.OnReadPortFocusLost(); };
    hooks.send = [this] { logic_.Send(); };
    // OK, Enter and the close box: the closing records, then the fields, as the window goes.
    hooks.ok = [this] {
        logic_.OkSteps();
        logic_.DestroySteps();
    };
    hooks.escape = [this] { logic_.EscapeSteps(); };
    dialog_.SetHooks(std::move(hooks));
}

ClientApp::~ClientApp() {
    // Nothing the dialog does while it goes away may reach the logic any more.
    dialog_.SetHooks({});
}

void ClientApp::OpenRecordFiles(const std::string& logFile, const std::string& pcapFile) {
    if (logFile.empty() && pcapFile.empty()) {
        return;
    }
    // Failures while the session runs come from the writer thread; show them on ours.
    recorder_ = std::make_unique<SessionRecorder>([title = title_](const std::string& message) {
        QMetaObject::invokeMethod(
            qApp, [title, message] { ShowMessageBox(title, message); }, Qt::QueuedConnection);
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
    dialog_.show();
}

}  // namespace tarvu
