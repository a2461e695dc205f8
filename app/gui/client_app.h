#pragma once
// The application object: the main dialog and the application logic behind it, wired
// together. The program, the GUI tests and the responsiveness benchmark all start the client
// through it, so they run the same wiring.

#include "app/gui/decode_controls.h"
#include "app/gui/main_dialog.h"
#include "app/gui/qt_one_shot_timer.h"
#include "app/main_dialog_logic.h"

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

    // The dialog's initialisation (settings into the fields, engine, channel), then shows it.
    void Start();

    MainDialog& Dialog() { return dialog_; }
    MainDialogLogic& Logic() { return logic_; }
    DecodeControls& Decode() { return decode_; }

private:
    QtOneShotTimer readPortTimer_;
    MainDialog dialog_;
    // Declared after the dialog, so destroyed first.
    MainDialogLogic logic_;
    DecodeControls decode_;
};

}  // namespace tarvu
