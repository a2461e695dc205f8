#pragma once
// What the transport keeps once per process: the completion port, the counts that drivers and
// workers change atomically, and every operation record ever allocated.

#include "platform/completion_port.h"
#include "transport/ns_overlapped.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace tarvu {

struct TransportState {
    // Created by the first driver's Open, destroyed by the last Shutdown. Worker threads run
    // only while it exists (they start after it and are joined before it goes), and drivers
    // are opened and shut down on one thread, so the pointer itself needs no lock.
    std::unique_ptr<CompletionPort> port;
    std::atomic<int> openDrivers{0};
    std::atomic<int> runningThreads{0};
    std::atomic<int> pendingQuits{0};

    // Records are recycled through the drivers' free lists and released only here, all at
    // once, when the last driver shuts down.
    std::mutex recordsMutex;
    std::vector<std::unique_ptr<nsOverlapped>> records;
};

TransportState& Transport();

// A new zero-filled record, entered in the process-wide list.
nsOverlapped* AllocateRecord();
// Releases every record of the process; only when no operation can be outstanding.
void ReleaseAllRecords();
size_t AllocatedRecordCount();

}  // namespace tarvu
