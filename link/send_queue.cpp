#include "link/send_queue.h"

#include <utility>

namespace tarvu {

void SendQueue::PushFront(std::unique_ptr<LinkPacket> packet) {
    if (!packet) {
        return;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    packets_.push_front(std::move(packet));
}

void SendQueue::PushBack(std::unique_ptr<LinkPacket> packet) {
    if (!packet) {
        return;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    packets_.push_back(std::move(packet));
}

const LinkPacket* SendQueue::Head() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return packets_.empty() ? nullptr : packets_.front().get();
}

std::unique_ptr<LinkPacket> SendQueue::Remove(const LinkPacket* packet) {
    std::unique_ptr<LinkPacket> removed;
    const std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = packets_.begin(); it != packets_.end(); ++it) {
        if (it->get() == packet) {
            removed = std::move(*it);
            packets_.erase(it);
            break;
        }
    }
    return removed;
}

bool SendQueue::Empty() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return packets_.empty();
}

size_t SendQueue::Size() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return packets_.size();
}

size_t SendQueue::UserPackets() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    size_t count = 0;
    for (const auto& packet : packets_) {
        count += packet->accounted == 0 ? 1 : 0;
    }
    return count;
}

}  // namespace tarvu
