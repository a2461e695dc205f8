#pragma once
// tarvu-cli simulate's loop: receives on a peer link, cuts frames, decrypts, lets the rules
// decide (scenario/responder.h) and sends the answers when their delays are up, with the
// every statements' packets in between. Everything runs on the calling thread; trace lines go
// to a sink that must not block.
//
// Bounds: replies that the rule file would answer itself leave at most `limit` a second (a
// token bucket holding a tenth of a second's worth), and at most kMaxScheduled packets wait
// for their delay; what exceeds either is dropped and counted. Two simulators of a file whose
// replies match its own rules thus bounce at most `limit` packets a second each, and
// duplicates cannot multiply without end.

#include "app/cli/peer_link.h"
#include "link/frame_codec.h"
#include "scenario/link_header.h"
#include "scenario/responder.h"
#include "scenario/rule_file.h"

#include <queue>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvu::cli {

struct SimulatorSettings {
    bool frame = false;
    std::optional<std::array<uint8_t, 32>> key;
    std::optional<scenario::Destination> to;  // where every ... send goes before anyone sent
    bool serial = false;  // a serial line: every ... send goes out on it whoever sent
    bool decode = false;
    std::optional<uint64_t> count;  // end after this many received datagrams
    uint64_t seed = 0;
};

class SimulatorSession {
public:
    using Clock = std::chrono::steady_clock;
    using TraceSink = std::function<void(const std::string& line)>;

    static constexpr size_t kMaxScheduled = 10'000;
    // A reordered packet waits for the next one to leave, but no longer than this.
    static constexpr std::chrono::milliseconds kReorderHold{500};

    // `rules` and `link` outlive the session.
    SimulatorSession(const scenario::RuleSet& rules, PeerLink& link, SimulatorSettings settings,
                     TraceSink trace);

    // Runs until `stop` says so, --count datagrams were received and answered, or the link
    // fails (then false).
    bool Run(const std::function<bool()>& stop);

    // The end report: datagrams received, then per rule, otherwise and every statement what
    // was matched and sent and what the faults and the bounds did.
    std::string Report() const;

private:
    struct Scheduled {
        Clock::time_point due;
        uint64_t order = 0;
        UdpPeer to;
        bool reordered = false;
        bool selfAnswered = false;
        std::vector<uint8_t> packet;
        bool operator>(const Scheduled& other) const {
            return due != other.due ? due > other.due : order > other.order;
        }
    };

    void OnChunk(const uint8_t* data, size_t n, const UdpPeer& from);
    void OnPacket(const uint8_t* data, size_t n, const UdpPeer& from);
    void Schedule(std::vector<scenario::PlannedSend>& planned, const UdpPeer& to);
    void SendDue(Clock::time_point now);
    void SendOut(const Scheduled& item);
    void Trace(const uint8_t* data, size_t n, int direction, const UdpPeer& peer, int stage,
               const std::vector<uint8_t>* plain);
    bool TakeToken(Clock::time_point now);
    // Hands the lines gathered since the last flush to the sink in one piece.
    void FlushTrace();

    const scenario::RuleSet& rules_;
    PeerLink& link_;
    SimulatorSettings settings_;
    TraceSink trace_;
    std::string pendingTrace_;
    scenario::Responder responder_;
    FrameDecoder decoder_;

    std::priority_queue<Scheduled, std::vector<Scheduled>, std::greater<>> scheduled_;
    std::deque<std::pair<Scheduled, Clock::time_point>> held_;  // reordered, with their deadline
    uint64_t order_ = 0;
    std::vector<Clock::time_point> periodicDue_;
    std::optional<UdpPeer> lastSender_;

    double tokens_ = 0;
    Clock::time_point tokensAt_;

    uint64_t received_ = 0;
    // What --count counts: datagrams, but packets on a framed serial line, where a read holds
    // whatever part of the stream has come so far.
    uint64_t counted_ = 0;
    uint64_t overLimit_ = 0;
    uint64_t overSchedule_ = 0;
    uint64_t notEncrypted_ = 0;
    uint64_t notDecrypted_ = 0;
    uint64_t sendFailed_ = 0;
    uint64_t noReceiver_ = 0;
};

}  // namespace tarvu::cli
