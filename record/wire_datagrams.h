#pragma once
// Picks the datagrams as they were on the wire out of the traced blocks: a received block as
// it came; a sent packet as it left, which is its coded frame when one follows it (frame coding
// on), otherwise the packet itself. Decoded frames of a received datagram are not on the wire.

#include "record/session_event.h"

#include <functional>
#include <optional>

namespace tarvu {

class WireDatagrams {
public:
    using Output = std::function<void(const SessionEvent& datagram)>;

    explicit WireDatagrams(Output output);

    // Feed every traced block in the order traced.
    void Feed(SessionEvent event);
    // A sent packet waits for its coded frame; call when no more blocks follow (or none came
    // for a while) to hand it on as it is.
    void Flush();
    bool Holding() const { return held_.has_value(); }

private:
    Output output_;
    std::optional<SessionEvent> held_;
};

}  // namespace tarvu
