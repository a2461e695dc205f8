#include "transport/transport_state.h"

namespace tarvu {

TransportState& Transport() {
    static TransportState state;
    return state;
}

nsOverlapped* AllocateRecord() {
    TransportState& state = Transport();
    auto record = std::make_unique<nsOverlapped>();
    nsOverlapped* raw = record.get();
    const std::lock_guard<std::mutex> lock(state.recordsMutex);
    state.records.push_back(std::move(record));
    return raw;
}

void ReleaseAllRecords() {
    TransportState& state = Transport();
    const std::lock_guard<std::mutex> lock(state.recordsMutex);
    state.records.clear();
}

size_t AllocatedRecordCount() {
    TransportState& state = Transport();
    const std::lock_guard<std::mutex> lock(state.recordsMutex);
    return state.records.size();
}

}  // namespace tarvu
