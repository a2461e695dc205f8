#include "platform/completion_port.h"

#include "platform/win32/winsock_start.h"

#include <chrono>
#include <cstring>
#include <winsock2.h>

namespace tarvu {
namespace {

// The system writes its OVERLAPPED over the first bytes of every operation record.
static_assert(sizeof(OVERLAPPED) <= sizeof(Overlapped::system));
static_assert(alignof(OVERLAPPED) <= alignof(uint64_t));
static_assert(offsetof(Overlapped, system) == 0);
static_assert(sizeof(unsigned long) == sizeof(DWORD));

// How long closing the port waits for the system to finish cancelled operations.
constexpr std::chrono::seconds kDrainLimit{2};

// A receive's second buffer: with it, every IPv4 datagram (at most 65,507 bytes) fits whole, so
// the byte count tells a longer datagram's real length.
constexpr uint32_t kOverflowBytes = 65536;

int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

OVERLAPPED* SystemRecord(Overlapped* op) {
    std::memset(op->system, 0, sizeof op->system);
    return reinterpret_cast<OVERLAPPED*>(op->system);
}

HANDLE AsHandle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool IsSocket(NativeHandle handle) {
    int type = 0;
    int length = sizeof type;
    return ::getsockopt(static_cast<SOCKET>(handle), SOL_SOCKET, SO_TYPE,
                        reinterpret_cast<char*>(&type), &length) == 0;
}

}  // namespace

struct CompletionPort::Registration {
    bool socket = false;
    uintptr_t key = 0;
    DWORD eventMask = 0;  // filled by a serial event wait
};

std::unique_ptr<CompletionPort> CompletionPort::Create(uint32_t concurrency) {
    HANDLE port = ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, concurrency);
    if (port == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<CompletionPort>(new CompletionPort(port, concurrency));
}

CompletionPort::CompletionPort(void* port, uint32_t concurrency)
    : port_(port), concurrency_(concurrency) {
}

CompletionPort::~CompletionPort() {
    // The system writes an operation's record, buffer and flags when it finishes it, even
    // after its handle or this port was closed; the records are released once the port is
    // gone, so every operation still owned by the system is cancelled and its completion
    // taken first.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [fd, registration] : registrations_) {
            ::CancelIoEx(AsHandle(fd), nullptr);
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    Completion c;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (outstanding_.empty()) {
                break;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        Get(&c, 20);
    }
    // The system may still write into the overflow areas of receives it has not finished.
    for (auto& [op, area] : receives_) {
        static_cast<void>(area.overflow.release());
    }
    ::CloseHandle(port_);
}

int CompletionPort::Associate(NativeHandle fd, uintptr_t key) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (registrations_.count(fd) != 0) {
        return -1;
    }
    if (::CreateIoCompletionPort(AsHandle(fd), port_, key, concurrency_) == nullptr) {
        return -1;
    }
    auto registration = std::make_unique<Registration>();
    registration->socket = IsSocket(fd);
    registration->key = key;
    registrations_.emplace(fd, std::move(registration));
    return 0;
}

void CompletionPort::Detach(NativeHandle fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = registrations_.find(fd);
    if (found == registrations_.end()) {
        return;
    }
    // Every outstanding operation completes with ERROR_OPERATION_ABORTED through the port.
    ::CancelIoEx(AsHandle(fd), nullptr);
    detached_.push_back(std::move(found->second));
    registrations_.erase(found);
}

int CompletionPort::PostReceiveFrom(NativeHandle fd, Overlapped* op, uint8_t* buffer,
                                    uint32_t capacity, SocketAddressV4* from,
                                    uint32_t* fromLength) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = registrations_.find(fd);
    if (found == registrations_.end() || !found->second->socket) {
        return -1;
    }
    ReceiveArea& area = receives_[op];
    area.capacity = capacity;
    if (!spareOverflow_.empty()) {
        area.overflow = std::move(spareOverflow_.back());
        spareOverflow_.pop_back();
    } else {
        area.overflow = std::make_unique_for_overwrite<uint8_t[]>(kOverflowBytes);
    }
    WSABUF parts[2] = {{capacity, reinterpret_cast<CHAR*>(buffer)},
                       {kOverflowBytes, reinterpret_cast<CHAR*>(area.overflow.get())}};
    DWORD& flags = outstanding_[op];
    flags = 0;
    DWORD got = 0;
    *fromLength = sizeof(SocketAddressV4);
    if (::WSARecvFrom(static_cast<SOCKET>(fd), parts, 2, &got, &flags,
                      reinterpret_cast<sockaddr*>(from), reinterpret_cast<INT*>(fromLength),
                      reinterpret_cast<WSAOVERLAPPED*>(SystemRecord(op)), nullptr) == 0) {
        return 0;  // its completion is queued all the same
    }
    const int error = ::WSAGetLastError();
    if (error == WSA_IO_PENDING) {
        return 1;
    }
    if (error == WSAEMSGSIZE) {
        // A datagram longer than both buffers was already waiting: the receive has finished,
        // cut, and (its status being a warning, not an error) its completion is queued.
        return 0;
    }
    outstanding_.erase(op);  // nothing of the system's is left to finish
    spareOverflow_.push_back(std::move(area.overflow));
    receives_.erase(op);
    if (error == WSAECONNRESET) {
        // A port-unreachable report waiting on the socket fails the receive at once; it is
        // handed out as a completion, as the system does when the report comes later.
        queuedErrors_[op] = kErrorPortUnreachable;
        ::PostQueuedCompletionStatus(port_, 0, found->second->key, SystemRecord(op));
        return 1;
    }
    return -1;
}

int CompletionPort::PostReadiness(NativeHandle fd, Overlapped* op) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = registrations_.find(fd);
    if (found == registrations_.end()) {
        return -1;
    }
    Registration& registration = *found->second;
    if (!registration.socket) {
        // A serial line: an overlapped event wait for the events of its mask.
        if (::WaitCommEvent(AsHandle(fd), &registration.eventMask, SystemRecord(op)) ||
            ::GetLastError() == ERROR_IO_PENDING) {
            outstanding_[op] = 0;
            return 1;
        }
        return -1;
    }
    // A socket: a zero-byte receive that only peeks completes once a datagram waits and
    // leaves it there.
    WSABUF none{0, nullptr};
    DWORD& flags = outstanding_[op];
    flags = MSG_PEEK;
    DWORD got = 0;
    OVERLAPPED* system = SystemRecord(op);
    // A datagram that waits already ends the peek at once with "message too long": a warning,
    // for which the system queues the completion as for success, so none is posted here.
    if (::WSARecv(static_cast<SOCKET>(fd), &none, 1, &got, &flags,
                  reinterpret_cast<WSAOVERLAPPED*>(system), nullptr) == 0 ||
        ::WSAGetLastError() == WSA_IO_PENDING || ::WSAGetLastError() == WSAEMSGSIZE) {
        socketReadiness_[op] = true;  // the system queues its completion
        return 1;
    }
    outstanding_.erase(op);
    return -1;
}

void CompletionPort::Post(uint32_t bytes, uintptr_t key, Overlapped* op) {
    ::PostQueuedCompletionStatus(
        port_, bytes, key, op != nullptr ? reinterpret_cast<OVERLAPPED*>(op->system) : nullptr);
}

bool CompletionPort::Get(Completion* out, int timeoutMs) {
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* system = nullptr;
    const BOOL ok = ::GetQueuedCompletionStatus(
        port_, &bytes, &key, &system, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    uint32_t error = ok ? kErrorNone : static_cast<uint32_t>(::GetLastError());
    if (!ok && system == nullptr) {
        return false;  // time-out, or the port was closed
    }
    Overlapped* op = reinterpret_cast<Overlapped*>(system);
    DatagramFacts facts;
    if (op != nullptr) {
        std::lock_guard<std::mutex> lock(mutex_);
        outstanding_.erase(op);  // the system is done with it
        auto receive = receives_.find(op);
        if (receive != receives_.end()) {
            if (error == kErrorNone || error == kErrorMoreData) {
                // The system keeps no receive time that Wine or Windows 7 offers: the moment
                // the completion is taken stands for it.
                facts.wireLength = bytes;
                facts.receivedMicros = NowMicros();
                if (bytes > receive->second.capacity) {
                    bytes = receive->second.capacity;
                    error = kErrorMoreData;
                }
            }
            spareOverflow_.push_back(std::move(receive->second.overflow));
            receives_.erase(receive);
        }
        auto requeued = queuedFacts_.find(op);
        if (requeued != queuedFacts_.end()) {
            facts = requeued->second;
            queuedFacts_.erase(requeued);
        }
        auto queued = queuedErrors_.find(op);
        if (queued != queuedErrors_.end()) {
            error = queued->second;
            queuedErrors_.erase(queued);
        }
        // A peeking zero-byte receive reports the waiting datagram as too long for it.
        if (socketReadiness_.erase(op) != 0 && error == kErrorMoreData) {
            error = kErrorNone;
            bytes = 0;
        }
        op->status = error;
        op->bytes = bytes;
    }
    out->bytes = bytes;
    out->key = key;
    out->overlapped = op;
    out->error = error;
    out->datagram = facts;
    return true;
}

void CompletionPort::LeaveThread() {
    // The system counts a thread as running only until it waits again or ends.
}

size_t CompletionPort::DiscardKey(uintptr_t key) {
    // The system queue cannot be searched: everything queued is taken off, and what does not
    // carry `key` is queued again in the same order with its error.
    std::vector<Completion> keep;
    size_t dropped = 0;
    Completion c;
    while (Get(&c, 0)) {
        if (c.key == key) {
            ++dropped;
        } else {
            keep.push_back(c);
        }
    }
    for (const Completion& k : keep) {
        if (k.overlapped != nullptr) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (k.error != kErrorNone) {
                queuedErrors_[k.overlapped] = k.error;
            }
            if (k.datagram.wireLength != 0 || k.datagram.receivedMicros != 0) {
                queuedFacts_[k.overlapped] = k.datagram;
            }
        }
        Post(k.bytes, k.key, k.overlapped);
    }
    return dropped;
}

bool CompletionPort::CountsSocketDrops() {
    // Windows counts UDP datagrams it could not deliver for the whole system only
    // (GetUdpStatistics), never per socket.
    return false;
}

uint32_t CompletionPort::DropsAfterLastDatagram(NativeHandle /*fd*/) {
    return 0;
}

}  // namespace tarvu
