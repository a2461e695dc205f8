#include "link/receive_facts.h"

#include <atomic>

namespace tarvu {
namespace {

thread_local const ReceiveFacts* tCurrent = nullptr;

std::atomic<void (*)(const nsAddress&, const ReceiveFacts&)> gEmptyDatagram{nullptr};
std::atomic<void (*)(uint32_t)> gDroppedAfterLast{nullptr};

}  // namespace

const ReceiveFacts* CurrentReceiveFacts() {
    return tCurrent;
}

ReceiveFactsScope::ReceiveFactsScope(const ReceiveFacts& facts) : previous_(tCurrent) {
    tCurrent = &facts;
}

ReceiveFactsScope::~ReceiveFactsScope() {
    tCurrent = previous_;
}

void SetReceiveNoteHandlers(const ReceiveNoteHandlers& handlers) {
    gEmptyDatagram.store(handlers.EmptyDatagram);
    gDroppedAfterLast.store(handlers.DroppedAfterLast);
}

void NoteEmptyDatagram(const nsAddress& sender, const ReceiveFacts& facts) {
    if (auto handler = gEmptyDatagram.load()) {
        handler(sender, facts);
    }
}

void NoteDroppedAfterLast(uint32_t count) {
    if (auto handler = gDroppedAfterLast.load()) {
        handler(count);
    }
}

}  // namespace tarvu
