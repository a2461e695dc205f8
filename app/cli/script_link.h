#pragma once
// What a scenario run needs of the link: send a packet, and the packets that arrived, oldest
// first, each with the moment it reached the socket. The engine's channel provides it
// (ScenarioLink); tests may provide their own.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvu::cli {

struct ArrivedPacket {
    std::vector<uint8_t> packet;  // plain: decrypted when the key decrypts it
    int64_t arrivalMicros = 0;    // system clock, microseconds since the Unix epoch
};

class ScriptLink {
public:
    virtual ~ScriptLink() = default;
    // Hands the packet over to leave at once. False with a reason when it cannot.
    virtual bool Send(const std::vector<uint8_t>& packet, std::string& error) = 0;
    // Waits until a packet is there (true, a copy in `out`, left in place) or `until` passes,
    // or the run is asked to stop (false).
    virtual bool WaitFront(std::chrono::steady_clock::time_point until, ArrivedPacket& out) = 0;
    virtual void PopFront() = 0;
    // Forgets everything received so far.
    virtual void Discard() = 0;
    // True while the link may still be holding packets that have arrived but are not here yet
    // (the worker busy with a send).
    virtual bool Busy() const = 0;
};

// The system clock in microseconds since the Unix epoch.
int64_t SystemMicros();

}  // namespace tarvu::cli
