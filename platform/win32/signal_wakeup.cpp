#include "platform/signal_wakeup.h"

namespace tarvu {

// A window program on Windows has no console, so no Ctrl+C or console-close event reaches
// it; its closing comes through the window itself (the close box, the session's end). The
// object stays invalid and the dialog watches nothing.
SignalWakeup::SignalWakeup() = default;

SignalWakeup::~SignalWakeup() = default;

int SignalWakeup::Take() {
    return 0;
}

}  // namespace tarvu
