#pragma once
// An I/O completion port over epoll and an eventfd.
//
// Operations are started against descriptors associated with the port under a key; when they
// finish, the port hands them out as completions (byte count, key, operation record, error)
// to the threads that wait on it, in the order they finished. A posted receive is armed on its
// socket: when the socket becomes readable, the port itself reads the datagram into the
// operation's buffer (taking every datagram that waits with one recvmmsg and handing the rest
// to the following receives, in order). A readiness wait completes with 0 bytes when its descriptor
// becomes readable (serial lines). Post() queues a completion directly, with any key and byte
// count, after first completing every operation whose I/O has already happened: sockets are
// otherwise read only while a thread waits on the port, and a datagram that came while every thread
// was busy must still come out before a completion posted after it.
//
// Concurrency: at most `concurrency` threads run completions at once. A thread counts as
// running from the moment Get() hands it a completion until it calls Get() again or
// LeaveThread().
//
// Error codes carry the values of the system interface the port stands in for.

#include "platform/native_handle.h"
#include "platform/socket_address.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace tarvu {

constexpr uint32_t kErrorNone = 0;
constexpr uint32_t kErrorGenFailure = 31;         // a receive failed for another reason
constexpr uint32_t kErrorBrokenPipe = 109;        // hang-up seen by a readiness wait
constexpr uint32_t kErrorMoreData = 234;          // datagram longer than the buffer, cut
constexpr uint32_t kErrorOperationAborted = 995;  // the descriptor was detached (closed)
constexpr uint32_t kErrorPortUnreachable = 1234;  // ICMP port unreachable seen by a receive

constexpr int kWaitInfinite = -1;

// The header of an operation record. Callers embed it as the first member of their own record
// and get that record back with every completion.
struct Overlapped {
    // The system's own operation record (OVERLAPPED) on Windows; unused elsewhere.
    uint64_t system[4] = {};
    uint32_t status = 0;  // error code of the last completion
    uint32_t bytes = 0;   // byte count of the last completion
};

// What the system tells about a received datagram beside its bytes; zeros where it tells
// nothing (and for every completion that is not a receive).
struct DatagramFacts {
    uint32_t wireLength = 0;     // its length as it arrived: more than the bytes kept when cut
    int64_t receivedMicros = 0;  // when it reached the socket: system clock, µs since the epoch
    uint32_t droppedBefore = 0;  // datagrams the system dropped on the socket just before it
};

struct Completion {
    uint32_t bytes = 0;
    uintptr_t key = 0;
    Overlapped* overlapped = nullptr;
    uint32_t error = kErrorNone;
    DatagramFacts datagram;
};

class CompletionPort {
public:
    // Null when the system refuses the epoll or eventfd descriptor.
    static std::unique_ptr<CompletionPort> Create(uint32_t concurrency);
    ~CompletionPort();
    CompletionPort(const CompletionPort&) = delete;
    CompletionPort& operator=(const CompletionPort&) = delete;

    // Operations on `fd` complete with `key`. 0, or -1 (already associated, or not pollable).
    int Associate(NativeHandle fd, uintptr_t key);

    // Completes every outstanding operation on `fd` with kErrorOperationAborted and forgets
    // the descriptor. Call it before closing the descriptor.
    void Detach(NativeHandle fd);

    // Receives one datagram into `buffer` (at most `capacity` bytes; a longer datagram is cut
    // and completes with kErrorMoreData; a 0-byte datagram completes with 0 bytes) and stores
    // its source in `from` and 16 in `fromLength`. The completion carries the datagram's facts
    // as far as the system tells them (CountsSocketDrops). Returns 0 when a datagram was already
    // waiting (its completion is queued all the same), 1 when pending, -1 when `fd` is not
    // associated. `buffer`, `from` and `fromLength` must stay valid until the completion.
    int PostReceiveFrom(NativeHandle fd, Overlapped* op, uint8_t* buffer, uint32_t capacity,
                        SocketAddressV4* from, uint32_t* fromLength);

    // Completes with 0 bytes once `fd` is readable (kErrorBrokenPipe on a hang-up without
    // data). 1 pending, -1 when `fd` is not associated.
    int PostReadiness(NativeHandle fd, Overlapped* op);

    // Queues a completion (PostQueuedCompletionStatus).
    void Post(uint32_t bytes, uintptr_t key, Overlapped* op);

    // Waits for a completion; false on time-out (`timeoutMs` < 0: no time-out).
    bool Get(Completion* out, int timeoutMs);

    // Gives up the calling thread's running slot, for a thread that stops taking completions.
    void LeaveThread();

    // Drops queued completions that carry `key`; returns how many.
    size_t DiscardKey(uintptr_t key);

    // Whether receives tell the datagrams the system dropped on their socket (droppedBefore)
    // and DropsAfterLastDatagram can be asked. Where not, both say 0.
    static bool CountsSocketDrops();
    // Datagrams the system dropped on the socket `fd` after the last datagram a receive took
    // from it. Ask before Detach, once nothing receives any more.
    uint32_t DropsAfterLastDatagram(NativeHandle fd);

private:
#ifdef _WIN32
    struct Registration;
    CompletionPort(void* port, uint32_t concurrency);

    void* const port_;  // the system completion port
    const uint32_t concurrency_;
    std::mutex mutex_;
    // Handles associated and not detached, with what the system needs for them.
    std::unordered_map<NativeHandle, std::unique_ptr<Registration>> registrations_;
    // Detached registrations: the system may still write to them until the port is closed.
    std::vector<std::unique_ptr<Registration>> detached_;
    // Completions queued by us that carry an error (DiscardKey re-queues, receives that
    // failed at once), and readiness waits outstanding on sockets.
    std::unordered_map<Overlapped*, uint32_t> queuedErrors_;
    std::unordered_map<Overlapped*, bool> socketReadiness_;
    // Operations the system owns until their completion is taken, each with the receive flags
    // it writes when it finishes (so they must outlive the call that started it).
    std::unordered_map<Overlapped*, unsigned long> outstanding_;
    // Receives outstanding: the caller's buffer size, and the area past it that takes the
    // rest of a longer datagram, so that its length is known (the system cuts silently).
    struct ReceiveArea {
        uint32_t capacity = 0;
        std::unique_ptr<uint8_t[]> overflow;
    };
    std::unordered_map<Overlapped*, ReceiveArea> receives_;
    std::vector<std::unique_ptr<uint8_t[]>> spareOverflow_;
    // Facts of receive completions that DiscardKey queued again.
    std::unordered_map<Overlapped*, DatagramFacts> queuedFacts_;
#else
    struct PendingReceive {
        Overlapped* op;
        uint8_t* buffer;
        uint32_t capacity;
        SocketAddressV4* from;
        uint32_t* fromLength;
    };
    struct Registration;

    CompletionPort(int epollFd, int wakeFd, uint32_t concurrency);

    void QueueLocked(const Completion& completion);
    void CompleteLocked(uintptr_t key, Overlapped* op, uint32_t bytes, uint32_t error,
                        const DatagramFacts& facts = {});
    // Completes `receive` with the oldest datagram that waits; false when none does.
    bool TryReceiveLocked(Registration& reg, const PendingReceive& receive);
    // Takes every datagram that waits on the socket, up to a batch, into the read-ahead;
    // false with *error set when the socket reported a failure instead.
    bool ReadAheadLocked(Registration& reg, uint32_t* error);
    bool ReceiveOneLocked(Registration& reg, const PendingReceive& receive);
    // The facts of a datagram about to be handed out; counts its drops as told.
    DatagramFacts HandOutLocked(Registration& reg, uint32_t length, uint32_t dropCount,
                                int64_t receivedMicros);
    // Completes every posted operation whose I/O has already happened.
    void CollectFinishedLocked();
    void CompleteReadinessLocked(Registration& reg, uint32_t events);
    void ArmLocked(Registration& reg);
    void PollLocked(std::unique_lock<std::mutex>& lock, int timeoutMs);
    void HandleEventLocked(Registration& reg, uint32_t events);
    void WakePoller(std::unique_lock<std::mutex>& lock);

    const int epollFd_;
    const int wakeFd_;
    const uint32_t concurrency_;
    const uint64_t serial_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Completion> queue_;
    std::unordered_map<int, std::unique_ptr<Registration>> byFd_;
    std::unordered_map<uint64_t, Registration*> byId_;
    uint64_t nextId_ = 1;
    uint32_t running_ = 0;      // threads between a returned Get() and their next Get()
    bool polling_ = false;      // a thread is inside epoll_wait
    bool wakePending_ = false;  // the eventfd was written and not yet drained
#endif
};

}  // namespace tarvu
