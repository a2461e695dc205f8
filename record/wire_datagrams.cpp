#include "record/wire_datagrams.h"

#include <utility>

namespace tarvu {

WireDatagrams::WireDatagrams(Output output) : output_(std::move(output)) {
}

void WireDatagrams::Feed(SessionEvent event) {
    const bool sent = event.direction != 0;
    if (sent && event.stage != 0) {
        // The coded frame replaces the packet it was coded from.
        held_.reset();
        output_(event);
        return;
    }
    Flush();
    if (sent) {
        held_ = std::move(event);
    } else if (event.stage == 0) {
        output_(event);
    }
}

void WireDatagrams::Flush() {
    if (held_) {
        SessionEvent event = std::move(*held_);
        held_.reset();
        output_(event);
    }
}

}  // namespace tarvu
