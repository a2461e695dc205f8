#include "app/gui/client_app.h"

#include <utility>

namespace tarvu {

ClientApp::ClientApp(Settings& settings, std::string title, ChannelService& channels,
                     AddressQuery addresses)
    : logic_(dialog_, settings, std::move(title), channels, std::move(addresses)),
      decode_(dialog_, logic_.Session(), settings) {
    logic_.SetReadPortTimer(&readPortTimer_);
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

void ClientApp::Start() {
    logic_.Initialise();
    dialog_.show();
}

}  // namespace tarvu
