#include "platform/completion_port.h"

#include "platform/sockaddr_conversion.h"
#include "platform/udp_socket.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <linux/sock_diag.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tarvu {
namespace {

// epoll data of the eventfd; registrations count from 1.
constexpr uint64_t kWakeId = 0;
constexpr int kMaxEvents = 16;

// Datagrams taken from a socket with one recvmmsg when a receive finds none read ahead.
// Receives of at most kAheadSlotBytes are served from them; larger ones read directly.
constexpr size_t kAheadBatch = 16;
constexpr size_t kAheadSlotBytes = 512;
// Room for what the system puts beside a datagram: its socket's drop counter (SO_RXQ_OVFL) and
// its receive time (SO_TIMESTAMPNS).
constexpr size_t kControlBytes = CMSG_SPACE(sizeof(uint32_t)) + CMSG_SPACE(sizeof(timespec));

// A datagram's length as it arrived and the control data that came with it.
struct DatagramControl {
    uint32_t length = 0;
    uint32_t dropCount = 0;  // the socket's drop counter when the datagram was queued
    int64_t receivedMicros = 0;
};

struct AheadDatagram {
    DatagramControl facts;  // length: the real one, even when the slot holds less
    sockaddr_in source{};
    alignas(cmsghdr) uint8_t control[kControlBytes];
    uint8_t data[kAheadSlotBytes];
};

// Datagrams already taken from the socket and not yet handed to a receive, oldest first.
// Only a receive's own read fills it, so it is never non-empty while a receive is pending:
// a datagram waits here exactly as it would in the socket's buffer.
struct ReadAhead {
    std::array<AheadDatagram, kAheadBatch> slots;
    size_t next = 0;
    size_t count = 0;

    bool Empty() const { return next == count; }
};

// The port a thread currently runs a completion of, for the concurrency count. Ports are told
// apart by a serial number, never by address: a later port may reuse a destroyed one's address.
thread_local uint64_t tRunningOn = 0;
std::atomic<uint64_t> gNextSerial{1};

// Asks the system to put the socket's drop counter and the receive time beside every datagram.
// A refusal leaves those facts at 0; receiving works without them.
void AskForDatagramFacts(int fd) {
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

void ReadControl(msghdr& header, DatagramControl* out) {
    // The system leaves the drop counter out while it is 0.
    out->dropCount = 0;
    out->receivedMicros = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level != SOL_SOCKET) {
            continue;
        }
        if (c->cmsg_type == SO_RXQ_OVFL && c->cmsg_len >= CMSG_LEN(sizeof(uint32_t))) {
            std::memcpy(&out->dropCount, CMSG_DATA(c), sizeof(uint32_t));
        } else if (c->cmsg_type == SCM_TIMESTAMPNS && c->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec when{};
            std::memcpy(&when, CMSG_DATA(c), sizeof when);
            out->receivedMicros = static_cast<int64_t>(when.tv_sec) * 1000000 + when.tv_nsec / 1000;
        }
    }
}

// How far a drop counter (modulo 2^32) has moved on from `last`; a counter that seems to go
// back (a datagram queued before the counter was asked for) moves nothing.
uint32_t DropsSince(uint32_t last, uint32_t now) {
    const uint32_t moved = now - last;
    return moved < 0x80000000u ? moved : 0;
}

}  // namespace

struct CompletionPort::Registration {
    int fd = -1;
    uintptr_t key = 0;
    uint64_t id = 0;
    std::deque<PendingReceive> receives;
    std::deque<Overlapped*> readiness;
    std::unique_ptr<ReadAhead> ahead;  // made by the first receive that uses it
    bool factsAsked = false;           // AskForDatagramFacts was called for the socket
    uint32_t dropCount = 0;            // the drop counter of the last datagram handed out
    bool inEpoll = false;
    uint32_t mask = 0;

    bool HasPending() const { return !receives.empty() || !readiness.empty(); }
};

std::unique_ptr<CompletionPort> CompletionPort::Create(uint32_t concurrency) {
    const int epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFd < 0) {
        return nullptr;
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        ::close(epollFd);
        return nullptr;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kWakeId;
    if (::epoll_ctl(epollFd, EPOLL_CTL_ADD, wakeFd, &event) != 0) {
        ::close(wakeFd);
        ::close(epollFd);
        return nullptr;
    }
    return std::unique_ptr<CompletionPort>(
        new CompletionPort(epollFd, wakeFd, concurrency == 0 ? 1 : concurrency));
}

CompletionPort::CompletionPort(int epollFd, int wakeFd, uint32_t concurrency)
    : epollFd_(epollFd), wakeFd_(wakeFd), concurrency_(concurrency), serial_(gNextSerial++) {
}

CompletionPort::~CompletionPort() {
    ::close(wakeFd_);
    ::close(epollFd_);
}

int CompletionPort::Associate(int fd, uintptr_t key) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd < 0 || byFd_.count(fd) != 0) {
        return -1;
    }
    auto reg = std::make_unique<Registration>();
    reg->fd = fd;
    reg->key = key;
    reg->id = nextId_++;
    // Registered with an empty mask: nothing is reported until an operation is posted.
    epoll_event event{};
    event.data.u64 = reg->id;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) != 0) {
        return -1;
    }
    reg->inEpoll = true;
    byId_[reg->id] = reg.get();
    byFd_[fd] = std::move(reg);
    return 0;
}

void CompletionPort::Detach(int fd) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto found = byFd_.find(fd);
    if (found == byFd_.end()) {
        return;
    }
    Registration& reg = *found->second;
    if (reg.inEpoll) {
        ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    }
    for (const PendingReceive& receive : reg.receives) {
        CompleteLocked(reg.key, receive.op, 0, kErrorOperationAborted);
    }
    for (Overlapped* op : reg.readiness) {
        CompleteLocked(reg.key, op, 0, kErrorOperationAborted);
    }
    // A poller may still hold an event with this id; it finds no registration and skips it.
    byId_.erase(reg.id);
    byFd_.erase(found);
    WakePoller(lock);
}

int CompletionPort::PostReceiveFrom(int fd, Overlapped* op, uint8_t* buffer, uint32_t capacity,
                                    SocketAddressV4* from, uint32_t* fromLength) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto found = byFd_.find(fd);
    if (found == byFd_.end() || op == nullptr) {
        return -1;
    }
    Registration& reg = *found->second;
    if (!reg.factsAsked) {
        AskForDatagramFacts(fd);
        reg.factsAsked = true;
    }
    const PendingReceive receive{op, buffer, capacity, from, fromLength};
    // A datagram that is already waiting is taken at once, but only when no earlier receive
    // is outstanding, so that receives complete in the order they were posted.
    if (reg.receives.empty() && TryReceiveLocked(reg, receive)) {
        WakePoller(lock);
        return 0;
    }
    reg.receives.push_back(receive);
    ArmLocked(reg);
    return 1;
}

int CompletionPort::PostReadiness(int fd, Overlapped* op) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = byFd_.find(fd);
    if (found == byFd_.end() || op == nullptr) {
        return -1;
    }
    found->second->readiness.push_back(op);
    ArmLocked(*found->second);
    return 1;
}

void CompletionPort::Post(uint32_t bytes, uintptr_t key, Overlapped* op) {
    std::unique_lock<std::mutex> lock(mutex_);
    // I/O that finished before this post must come out before it, even while no thread waits
    // on the port to notice it (the worker may sleep in a send step).
    CollectFinishedLocked();
    CompleteLocked(key, op, bytes, kErrorNone);
    WakePoller(lock);
}

bool CompletionPort::Get(Completion* out, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const bool bounded = timeoutMs >= 0;
    // The worker waits without a time-out for every completion: it reads no clock.
    const Clock::time_point deadline =
        bounded ? Clock::now() + std::chrono::milliseconds(timeoutMs) : Clock::time_point{};
    const auto remaining = [&]() -> int {
        if (!bounded) {
            return kWaitInfinite;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    };

    std::unique_lock<std::mutex> lock(mutex_);
    if (tRunningOn == serial_) {
        tRunningOn = 0;
        --running_;
        changed_.notify_all();
    }
    for (;;) {
        if (running_ < concurrency_) {
            // Posts collect the I/O that finished before them, so the queue is already in
            // the order things finished and a stream of posts cannot starve the sockets.
            if (!queue_.empty()) {
                *out = queue_.front();
                queue_.pop_front();
                ++running_;
                tRunningOn = serial_;
                return true;
            }
            if (!polling_) {
                const int wait = remaining();
                PollLocked(lock, wait);
                if (queue_.empty() && wait == 0) {
                    return false;
                }
                continue;
            }
        }
        if (!bounded) {
            changed_.wait(lock);
        } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout &&
                   (queue_.empty() || running_ >= concurrency_)) {
            return false;
        }
    }
}

void CompletionPort::LeaveThread() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (tRunningOn == serial_) {
        tRunningOn = 0;
        --running_;
        changed_.notify_all();
    }
}

size_t CompletionPort::DiscardKey(uintptr_t key) {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t before = queue_.size();
    std::erase_if(queue_, [key](const Completion& c) { return c.key == key; });
    return before - queue_.size();
}

bool CompletionPort::CountsSocketDrops() {
    return true;
}

uint32_t CompletionPort::DropsAfterLastDatagram(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = byFd_.find(fd);
    if (found == byFd_.end()) {
        return 0;
    }
    uint32_t memory[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof memory;
    if (::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, memory, &length) != 0 ||
        length <= SK_MEMINFO_DROPS * sizeof(uint32_t)) {
        return 0;
    }
    return DropsSince(found->second->dropCount, memory[SK_MEMINFO_DROPS]);
}

void CompletionPort::QueueLocked(const Completion& completion) {
    queue_.push_back(completion);
    changed_.notify_all();
}

void CompletionPort::CompleteLocked(uintptr_t key, Overlapped* op, uint32_t bytes, uint32_t error,
                                    const DatagramFacts& facts) {
    if (op != nullptr) {
        op->status = error;
        op->bytes = bytes;
    }
    QueueLocked(Completion{bytes, key, op, error, facts});
}

DatagramFacts CompletionPort::HandOutLocked(Registration& reg, uint32_t length, uint32_t dropCount,
                                            int64_t receivedMicros) {
    DatagramFacts facts;
    facts.wireLength = length;
    facts.receivedMicros = receivedMicros;
    facts.droppedBefore = DropsSince(reg.dropCount, dropCount);
    if (facts.droppedBefore != 0) {
        reg.dropCount = dropCount;
    }
    return facts;
}

bool CompletionPort::TryReceiveLocked(Registration& reg, const PendingReceive& receive) {
    if (reg.ahead == nullptr || reg.ahead->Empty()) {
        if (receive.capacity > kAheadSlotBytes) {
            return ReceiveOneLocked(reg, receive);
        }
        uint32_t error = kErrorNone;
        if (!ReadAheadLocked(reg, &error)) {
            if (error == kErrorNone) {
                return false;  // nothing waiting
            }
            CompleteLocked(reg.key, receive.op, 0, error);
            return true;
        }
    }
    const AheadDatagram& datagram = reg.ahead->slots[reg.ahead->next++];
    const uint32_t length = datagram.facts.length;
    const uint32_t stored = std::min<uint32_t>(length, kAheadSlotBytes);
    const uint32_t bytes = std::min(stored, receive.capacity);
    std::memcpy(receive.buffer, datagram.data, bytes);
    if (receive.from != nullptr) {
        *receive.from = FromSockaddr(datagram.source);
    }
    if (receive.fromLength != nullptr) {
        *receive.fromLength = kSocketAddressLength;
    }
    CompleteLocked(
        reg.key, receive.op, bytes, length > bytes ? kErrorMoreData : kErrorNone,
        HandOutLocked(reg, length, datagram.facts.dropCount, datagram.facts.receivedMicros));
    return true;
}

bool CompletionPort::ReadAheadLocked(Registration& reg, uint32_t* error) {
    if (reg.ahead == nullptr) {
        reg.ahead = std::make_unique<ReadAhead>();
    }
    ReadAhead& ahead = *reg.ahead;
    std::array<mmsghdr, kAheadBatch> messages{};
    std::array<iovec, kAheadBatch> parts{};
    for (size_t i = 0; i < kAheadBatch; ++i) {
        parts[i] = iovec{ahead.slots[i].data, kAheadSlotBytes};
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &ahead.slots[i].source;
        messages[i].msg_hdr.msg_namelen = sizeof ahead.slots[i].source;
        messages[i].msg_hdr.msg_control = ahead.slots[i].control;
        messages[i].msg_hdr.msg_controllen = kControlBytes;
    }
    for (;;) {
        // MSG_TRUNC makes each length the datagram's real one. A failure after the first
        // datagram stays pending on the socket and is reported by the next read.
        const int got =
            ::recvmmsg(reg.fd, messages.data(), kAheadBatch, MSG_DONTWAIT | MSG_TRUNC, nullptr);
        if (got > 0) {
            for (size_t i = 0; i < static_cast<size_t>(got); ++i) {
                ahead.slots[i].facts.length = messages[i].msg_len;
                ReadControl(messages[i].msg_hdr, &ahead.slots[i].facts);
            }
            ahead.next = 0;
            ahead.count = static_cast<size_t>(got);
            return true;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            return false;
        }
        *error = errno == ECONNREFUSED ? kErrorPortUnreachable : kErrorGenFailure;
        return false;
    }
}

bool CompletionPort::ReceiveOneLocked(Registration& reg, const PendingReceive& receive) {
    for (;;) {
        sockaddr_in source{};
        iovec part{receive.buffer, receive.capacity};
        alignas(cmsghdr) uint8_t control[kControlBytes];
        msghdr header{};
        header.msg_name = &source;
        header.msg_namelen = sizeof source;
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        // MSG_TRUNC makes recvmsg report the datagram's real length.
        const ssize_t got = ::recvmsg(reg.fd, &header, MSG_DONTWAIT | MSG_TRUNC);
        if (got >= 0) {
            DatagramControl facts;
            facts.length = static_cast<uint32_t>(got);
            ReadControl(header, &facts);
            if (receive.from != nullptr) {
                *receive.from = FromSockaddr(source);
            }
            if (receive.fromLength != nullptr) {
                *receive.fromLength = kSocketAddressLength;
            }
            const bool cut = static_cast<size_t>(got) > receive.capacity;
            CompleteLocked(reg.key, receive.op, cut ? receive.capacity : static_cast<uint32_t>(got),
                           cut ? kErrorMoreData : kErrorNone,
                           HandOutLocked(reg, facts.length, facts.dropCount, facts.receivedMicros));
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return false;
        }
        CompleteLocked(reg.key, receive.op, 0,
                       errno == ECONNREFUSED ? kErrorPortUnreachable : kErrorGenFailure);
        return true;
    }
}

void CompletionPort::CollectFinishedLocked() {
    for (auto& entry : byFd_) {
        Registration& reg = *entry.second;
        while (!reg.receives.empty() && TryReceiveLocked(reg, reg.receives.front())) {
            reg.receives.pop_front();
        }
        if (!reg.readiness.empty()) {
            pollfd probe{reg.fd, POLLIN, 0};
            if (::poll(&probe, 1, 0) == 1) {
                uint32_t events = 0;
                events |= (probe.revents & POLLIN) != 0 ? EPOLLIN : 0u;
                events |= (probe.revents & POLLERR) != 0 ? EPOLLERR : 0u;
                events |= (probe.revents & POLLHUP) != 0 ? EPOLLHUP : 0u;
                CompleteReadinessLocked(reg, events);
            }
        }
    }
}

void CompletionPort::CompleteReadinessLocked(Registration& reg, uint32_t events) {
    if (reg.readiness.empty() || (events & (EPOLLIN | EPOLLERR | EPOLLHUP)) == 0) {
        return;
    }
    const uint32_t error = (events & EPOLLIN) != 0 ? kErrorNone : kErrorBrokenPipe;
    for (Overlapped* op : reg.readiness) {
        CompleteLocked(reg.key, op, 0, error);
    }
    reg.readiness.clear();
}

void CompletionPort::ArmLocked(Registration& reg) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = reg.id;
    if (!reg.inEpoll) {
        if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, reg.fd, &event) == 0) {
            reg.inEpoll = true;
            reg.mask = EPOLLIN;
        }
    } else if (reg.mask != EPOLLIN) {
        if (::epoll_ctl(epollFd_, EPOLL_CTL_MOD, reg.fd, &event) == 0) {
            reg.mask = EPOLLIN;
        }
    }
}

void CompletionPort::PollLocked(std::unique_lock<std::mutex>& lock, int timeoutMs) {
    polling_ = true;
    lock.unlock();
    epoll_event events[kMaxEvents];
    int count = ::epoll_wait(epollFd_, events, kMaxEvents, timeoutMs);
    lock.lock();
    polling_ = false;
    for (int i = 0; i < count; ++i) {
        if (events[i].data.u64 == kWakeId) {
            uint64_t drained = 0;
            [[maybe_unused]] const ssize_t ignored = ::read(wakeFd_, &drained, sizeof drained);
            wakePending_ = false;
            continue;
        }
        const auto found = byId_.find(events[i].data.u64);
        if (found != byId_.end()) {
            HandleEventLocked(*found->second, events[i].events);
        }
    }
    changed_.notify_all();
}

void CompletionPort::HandleEventLocked(Registration& reg, uint32_t events) {
    const bool failed = (events & (EPOLLERR | EPOLLHUP)) != 0;
    if (!reg.HasPending()) {
        if (failed) {
            // Error and hang-up cannot be masked: leave epoll until the next operation, which
            // then sees the condition itself.
            ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, reg.fd, nullptr);
            reg.inEpoll = false;
        } else if (reg.mask != 0) {
            // Readable with nothing posted: stop listening until the next post.
            epoll_event event{};
            event.data.u64 = reg.id;
            if (::epoll_ctl(epollFd_, EPOLL_CTL_MOD, reg.fd, &event) == 0) {
                reg.mask = 0;
            }
        }
        return;
    }
    while (!reg.receives.empty() && TryReceiveLocked(reg, reg.receives.front())) {
        reg.receives.pop_front();
    }
    if ((events & EPOLLERR) != 0) {
        // Reports that no receive took (sk_err was already cleared) would keep EPOLLERR set.
        DrainSocketErrors(reg.fd);
    }
    CompleteReadinessLocked(reg, events);
}

void CompletionPort::WakePoller(std::unique_lock<std::mutex>& lock) {
    // Memory ordering: every completion is queued under mutex_, and the poller takes mutex_
    // again after epoll_wait returns, so the unlock here and that lock order the queue; the
    // eventfd carries no data, it only makes epoll_wait return. It is written after the unlock
    // (so the poller never wakes into a held lock) and only while a poller is inside
    // epoll_wait; if that poller is just about to call epoll_wait, the counter is already
    // non-zero and the call returns at once, so no wake-up is lost.
    const bool write = polling_ && !wakePending_;
    if (write) {
        wakePending_ = true;
    }
    lock.unlock();
    if (write) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    }
}

}  // namespace tarvu
