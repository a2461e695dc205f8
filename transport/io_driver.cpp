#include "transport/io_driver.h"

#include "link/receive_facts.h"
#include "transport/transport_state.h"
#include "transport/worker.h"
#include "transport/worker_threads.h"

#include <algorithm>
#include <thread>

namespace tarvu {

cnsIoDriver::~cnsIoDriver() {
    CloseEndpoint();
}

cnsIoDriver* cnsIoDriver::Open(const nsOpenParams* params, cnsLibnetProvider* channel) {
    if (params == nullptr || channel == nullptr) {
        return nullptr;
    }
    TransportState& state = Transport();
    channel_ = channel;
    bindPort_ = params->bindPort;
    serialName_ = params->serialName != nullptr ? params->serialName : "";
    serialBaudRate_ = params->serialBaudRate;

    uint32_t threads = 2 * std::max(1u, std::thread::hardware_concurrency()) + 1;
    threads = std::min(std::max(threads, params->minThreadCount), WorkerThreadTable::kMaxThreads);
    bool createdPort = false;
    if (!state.port) {
        // The first driver of the process runs exactly one worker on a port that lets one
        // thread run at a time.
        threads = 1;
        state.port = CompletionPort::Create(1);
        if (!state.port) {
            return nullptr;
        }
        state.pendingQuits = 0;
        createdPort = true;
    }
    // A port that no driver ended up using would leave the next driver with the thread count
    // of a second driver.
    const auto dropUnusedPort = [&] {
        if (createdPort && state.openDrivers.load() == 0 && state.runningThreads.load() == 0) {
            state.port.reset();
        }
    };
    if (!WorkerThreads().Fits(threads)) {
        dropUnusedPort();
        return nullptr;
    }
    threadCount_ = threads;

    if (IsSerial()) {
        // A line that cannot be opened fails the open like a socket that cannot be bound: a
        // channel whose every send would be dropped is not left behind.
        if (!OpenSerial()) {
            dropUnusedPort();
            return nullptr;
        }
        open_ = true;
        for (uint32_t i = 0; i < threadCount_; ++i) {
            PostReceive();
        }
    } else {
        if (!socket_.Valid() && !SetUpSocket(*params)) {
            dropUnusedPort();
            return nullptr;
        }
        open_ = true;
        for (uint32_t i = 0; i < threadCount_; ++i) {
            PostReceive();
        }
    }

    ++state.openDrivers;
    state.runningThreads += static_cast<int>(threadCount_);
    WorkerThreads().Start(threadCount_, [] { WorkerThread(); });
    started_ = true;
    return this;
}

void cnsIoDriver::Shutdown(cnsLibnetProvider* channel) {
    TransportState& state = Transport();
    if (!started_ || !state.port) {
        return;
    }
    // A worker blocked in a serial write would never take its quit.
    if (IsSerial()) {
        CancelSerialWrites();
    }
    for (uint32_t i = 0; i < threadCount_; ++i) {
        nsOverlapped* record = NewOverlapped(0);
        record->kind = nsIOT_QUIT;
        ++state.pendingQuits;
        state.port->Post(0, reinterpret_cast<uintptr_t>(channel), &record->overlapped);
    }
    // Blocking here is safe: the workers never wait for the thread that closes channels.
    WorkerThreads().JoinEnded(threadCount_, [&state] { --state.pendingQuits; });
    --state.openDrivers;
    started_ = false;
    ReportDropsAfterLastDatagram();

    // Unlike a system where a closed socket stays safe to complete against, this driver and
    // its channel are about to be released: the socket is closed even while other drivers'
    // workers still run, its outstanding receives completing as aborted.
    CloseEndpoint();
    if (state.runningThreads.load() == 0) {
        state.port.reset();
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            freeList_ = nullptr;
        }
        ReleaseAllRecords();
    }
}

void cnsIoDriver::ReportDropsAfterLastDatagram() {
    NativeHandle socket = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!socket_.Valid() || !Transport().port) {
            return;
        }
        socket = socket_.Handle();
    }
    // The workers have ended, so no datagram is delivered any more: what the system dropped
    // since the last one would otherwise go unsaid.
    const uint32_t dropped = Transport().port->DropsAfterLastDatagram(socket);
    if (dropped != 0) {
        NoteDroppedAfterLast(dropped);
    }
}

void cnsIoDriver::CloseEndpoint() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (socket_.Valid()) {
        if (Transport().port) {
            Transport().port->Detach(socket_.Handle());
        }
        socket_.Close();
    }
    bound_ = false;
    if (IsSerial()) {
        CloseSerial();
    }
    open_ = false;
}

int cnsIoDriver::Send(const nsAddress* destination, const nsSendBuffer* buffers, uint32_t count,
                      uint32_t tag, uint32_t flags) {
    if (buffers == nullptr || count < 1 || destination == nullptr) {
        return -1;
    }
    if (!open_.load()) {
        return -2;
    }
    return (flags & kSendFlagNow) != 0 ? SendNow(*destination, buffers, count)
                                       : SendOverlapped(*destination, buffers, count, tag);
}

void cnsIoDriver::PostKind(uint32_t kind) {
    TransportState& state = Transport();
    nsOverlapped* record = NewOverlapped(0);
    if (!state.port) {
        DeleteOverlapped(record);
        return;
    }
    record->kind = kind;
    state.port->Post(0, Key(), &record->overlapped);
}

nsOverlapped* cnsIoDriver::NewOverlapped(uint32_t tag) {
    nsOverlapped* record = nullptr;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (freeList_ != nullptr) {
            record = freeList_;
            freeList_ = record->next;
        }
    }
    if (record == nullptr) {
        record = AllocateRecord();
    }
    *record = nsOverlapped{};
    record->tag = tag;
    return record;
}

void cnsIoDriver::DeleteOverlapped(nsOverlapped* record) {
    if (record == nullptr) {
        return;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    record->next = freeList_;
    freeList_ = record;
}

}  // namespace tarvu
