#include "app/cli/simulator_session.h"

#include "link/packet_cipher.h"
#include "trace/decoded_line.h"
#include "trace/trace_line.h"

#include <algorithm>
#include <thread>

namespace tarvu::cli {
namespace {

// Largest UDP payload over IPv4: every datagram is taken whole.
constexpr size_t kMaxDatagram = 65507;
// How long one receive waits before the stop request is looked at again.
constexpr int kPollMs = 50;
// Datagrams taken at most in one burst before the schedule is looked at again.
constexpr int kBurst = 64;

std::string CountsLine(const scenario::RuleCounts& counts, bool answers) {
    std::string text = "matched " + std::to_string(counts.matched);
    if (answers) {
        text += ", sent " + std::to_string(counts.sent);
    }
    const auto add = [&text](const char* what, uint64_t n) {
        if (n != 0) {
            text += std::string(", ") + what + " " + std::to_string(n);
        }
    };
    add("lost", counts.lost);
    add("duplicated", counts.duplicated);
    add("reordered", counts.reordered);
    add("corrupted", counts.corrupted);
    return text;
}

const char* ActionName(scenario::RuleAction action) {
    switch (action) {
        case scenario::RuleAction::kReply:
            return "reply";
        case scenario::RuleAction::kEcho:
            return "echo";
        case scenario::RuleAction::kDrop:
            break;
    }
    return "drop";
}

}  // namespace

SimulatorSession::SimulatorSession(const scenario::RuleSet& rules, PeerLink& link,
                                   SimulatorSettings settings, TraceSink trace)
    : rules_(rules),
      link_(link),
      settings_(std::move(settings)),
      trace_(std::move(trace)),
      responder_(rules, settings_.seed) {
}

bool SimulatorSession::TakeToken(Clock::time_point now) {
    const double rate = rules_.rateLimit;
    const double capacity = std::max(1.0, rate / 10);
    const double elapsed = std::chrono::duration<double>(now - tokensAt_).count();
    tokens_ = std::min(capacity, tokens_ + elapsed * rate);
    tokensAt_ = now;
    if (tokens_ < 1) {
        return false;
    }
    tokens_ -= 1;
    return true;
}

void SimulatorSession::Trace(const uint8_t* data, size_t n, int direction, const UdpPeer& peer,
                             int stage, const std::vector<uint8_t>* plain) {
    TraceBlock block;
    block.data = data;
    block.length = n;
    block.direction = direction;
    block.address = peer.address;
    block.port = peer.port;
    block.stage = stage;
    AppendTraceLine(pendingTrace_, block, stage == 0 ? GetLocalTime() : LocalTime{});
    if (settings_.decode && plain != nullptr) {
        AppendDecodedLine(pendingTrace_, *plain);
    }
}

void SimulatorSession::FlushTrace() {
    if (!pendingTrace_.empty()) {
        trace_(pendingTrace_);
        pendingTrace_.clear();
    }
}

void SimulatorSession::SendOut(const Scheduled& item) {
    if (item.selfAnswered && !TakeToken(Clock::now())) {
        ++overLimit_;
        return;
    }
    std::vector<uint8_t> wire;
    if (settings_.key) {
        if (!EncryptLinkPacket(item.packet, *settings_.key, wire)) {
            ++notEncrypted_;
            return;
        }
    } else {
        wire = item.packet;
    }
    Trace(wire.data(), wire.size(), 1, item.to, 0, &item.packet);
    if (settings_.frame) {
        std::vector<uint8_t> frame(FrameAreaSize(wire.size()));
        frame.resize(FrameEncode(frame.data(), wire.data(), wire.size()));
        Trace(frame.data(), frame.size(), 1, item.to, 1, nullptr);
        wire = std::move(frame);
    }
    if (!link_.Send(item.to, wire.data(), wire.size())) {
        ++sendFailed_;
    }
}

void SimulatorSession::Schedule(std::vector<scenario::PlannedSend>& planned, const UdpPeer& to) {
    const Clock::time_point now = Clock::now();
    for (scenario::PlannedSend& send : planned) {
        if (scheduled_.size() >= kMaxScheduled) {
            ++overSchedule_;
            continue;
        }
        Scheduled item;
        item.due = now + std::chrono::milliseconds(send.delayMs);
        item.order = order_++;
        item.to = to;
        item.reordered = send.reordered;
        item.selfAnswered = send.selfAnswered;
        item.packet = std::move(send.packet);
        scheduled_.push(std::move(item));
    }
    planned.clear();
}

void SimulatorSession::SendDue(Clock::time_point now) {
    while (!scheduled_.empty() && scheduled_.top().due <= now) {
        Scheduled item = scheduled_.top();
        scheduled_.pop();
        if (item.reordered) {
            held_.emplace_back(std::move(item), now + kReorderHold);
            continue;
        }
        SendOut(item);
        // What was held back leaves right after the packet that overtook it.
        while (!held_.empty()) {
            SendOut(held_.front().first);
            held_.pop_front();
        }
    }
    while (!held_.empty() && held_.front().second <= now) {
        SendOut(held_.front().first);
        held_.pop_front();
    }
}

void SimulatorSession::OnPacket(const uint8_t* data, size_t n, const UdpPeer& from) {
    std::vector<uint8_t> plain(data, data + n);
    if (settings_.key && n > 0 && (data[0] & 0x80) != 0) {
        std::vector<uint8_t> decrypted;
        if (DecryptLinkPacket(plain, *settings_.key, decrypted)) {
            plain = std::move(decrypted);
        } else {
            ++notDecrypted_;
        }
    }
    std::vector<scenario::PlannedSend> planned;
    responder_.OnPacket(plain, planned);
    Schedule(planned, from);
}

void SimulatorSession::OnChunk(const uint8_t* data, size_t n, const UdpPeer& from) {
    ++received_;
    lastSender_ = from;
    // The packet a decoded line describes: decrypted when it can be.
    const auto plainOf = [this](const uint8_t* bytes, size_t length) {
        std::vector<uint8_t> plain(bytes, bytes + length);
        std::vector<uint8_t> decrypted;
        if (settings_.key && length > 0 && (bytes[0] & 0x80) != 0 &&
            DecryptLinkPacket(plain, *settings_.key, decrypted)) {
            return decrypted;
        }
        return plain;
    };
    if (!settings_.frame) {
        ++counted_;
        const std::vector<uint8_t> plain = plainOf(data, n);
        Trace(data, n, 0, from, 0, &plain);
        OnPacket(data, n, from);
        return;
    }
    Trace(data, n, 0, from, 0, nullptr);
    // The decoder's packet lives in its scratch area until the next frame: copy first.
    std::vector<std::vector<uint8_t>> packets;
    decoder_.Feed(data, n, [&packets](const uint8_t* packet, size_t length) {
        packets.emplace_back(packet, packet + length);
    });
    counted_ += settings_.serial ? packets.size() : 1;
    for (const std::vector<uint8_t>& packet : packets) {
        const std::vector<uint8_t> plain = plainOf(packet.data(), packet.size());
        Trace(packet.data(), packet.size(), 0, from, 1, &plain);
        OnPacket(packet.data(), packet.size(), from);
    }
}

bool SimulatorSession::Run(const std::function<bool()>& stop) {
    const Clock::time_point start = Clock::now();
    tokensAt_ = start;
    tokens_ = std::max(1.0, rules_.rateLimit / 10.0);
    for (const scenario::Periodic& periodic : rules_.periodic) {
        periodicDue_.push_back(start + std::chrono::milliseconds(periodic.periodMs));
    }
    std::vector<uint8_t> buffer(kMaxDatagram);
    std::vector<scenario::PlannedSend> planned;
    while (!stop()) {
        const bool counted = settings_.count && counted_ >= *settings_.count;
        if (counted && scheduled_.empty() && held_.empty()) {
            return true;
        }
        Clock::time_point now = Clock::now();
        SendDue(now);
        for (size_t i = 0; i < periodicDue_.size() && !counted; ++i) {
            // Each due time follows the last by the period, so the schedule does not drift.
            while (periodicDue_[i] <= now) {
                periodicDue_[i] += std::chrono::milliseconds(rules_.periodic[i].periodMs);
                std::optional<UdpPeer> to = lastSender_;
                if (settings_.serial) {
                    to = UdpPeer{};
                } else if (!to && settings_.to) {
                    to = UdpPeer{settings_.to->address, settings_.to->port};
                }
                if (!to) {
                    ++noReceiver_;
                    continue;
                }
                responder_.OnPeriodic(i, planned);
                Schedule(planned, *to);
            }
        }
        SendDue(now);
        Clock::time_point wake = now + std::chrono::milliseconds(kPollMs);
        if (!scheduled_.empty()) {
            wake = std::min(wake, scheduled_.top().due);
        }
        if (!held_.empty()) {
            wake = std::min(wake, held_.front().second);
        }
        for (size_t i = 0; i < periodicDue_.size() && !counted; ++i) {
            wake = std::min(wake, periodicDue_[i]);
        }
        const auto timeout = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
        if (counted) {
            FlushTrace();
            std::this_thread::sleep_until(wake);
            continue;
        }
        // What waits is taken in a burst, each answer sent as soon as it is due, and the trace
        // of the burst handed over in one piece: the writer thread wakes once per burst.
        int wait = static_cast<int>(std::max<int64_t>(0, timeout));
        for (int taken = 0; taken < kBurst; ++taken) {
            UdpPeer from;
            const int n = link_.Receive(buffer.data(), buffer.size(), from, wait);
            if (n == -2) {
                FlushTrace();
                return false;
            }
            if (n < 0) {
                break;
            }
            OnChunk(buffer.data(), static_cast<size_t>(n), from);
            SendDue(Clock::now());
            wait = 0;
            if (settings_.count && counted_ >= *settings_.count) {
                break;
            }
        }
        FlushTrace();
    }
    FlushTrace();
    return true;
}

std::string SimulatorSession::Report() const {
    std::string text = "tarvu-cli simulate: " + std::to_string(received_) + " datagram" +
                       (received_ == 1 ? "" : "s") + " received\n";
    const std::vector<scenario::RuleCounts>& counts = responder_.Counts();
    for (size_t i = 0; i < rules_.rules.size(); ++i) {
        const scenario::Rule& rule = rules_.rules[i];
        text += "  line " + std::to_string(rule.line) + ", on " + rule.pattern.text + " " +
                ActionName(rule.action) + ": " +
                CountsLine(counts[i], rule.action != scenario::RuleAction::kDrop) + "\n";
    }
    const scenario::Fallback& otherwise = rules_.otherwise;
    text +=
        std::string("  otherwise ") + ActionName(otherwise.action) + ": " +
        CountsLine(counts[rules_.rules.size()], otherwise.action != scenario::RuleAction::kDrop) +
        "\n";
    for (size_t i = 0; i < rules_.periodic.size(); ++i) {
        const scenario::RuleCounts& c = counts[rules_.rules.size() + 1 + i];
        text += "  line " + std::to_string(rules_.periodic[i].line) + ", every: sent " +
                std::to_string(c.sent) + (c.lost != 0 ? ", lost " + std::to_string(c.lost) : "") +
                "\n";
    }
    const auto add = [&text](uint64_t n, const std::string& what) {
        if (n != 0) {
            text += "  " + std::to_string(n) + " " + what + "\n";
        }
    };
    add(overLimit_, "not sent: over the limit of " + std::to_string(rules_.rateLimit) +
                        " replies a second that these rules would answer themselves");
    add(overSchedule_, "not sent: more than " + std::to_string(kMaxScheduled) +
                           " packets waiting for their delay");
    add(notEncrypted_, "not sent: too long for the cipher");
    add(sendFailed_, "not sent: the link refused them");
    add(notDecrypted_, "received encrypted and not decrypted with the key");
    add(noReceiver_, "every packets not sent: nobody has sent anything yet and no to");
    return text;
}

}  // namespace tarvu::cli
