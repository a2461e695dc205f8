#include "record/session_store.h"

#include "platform/created_file.h"
#include "record/capture_file.h"
#include "record/folder_path.h"
#include "record/wire_datagrams.h"

namespace tarvu {

SessionStore::SessionStore(size_t maxEvents, size_t maxBytes)
    : maxEvents_(maxEvents), maxBytes_(maxBytes) {
}

void SessionStore::Record(const TraceBlock& block, const std::string& line,
                          std::chrono::system_clock::time_point when) {
    SessionEvent event;
    event.microseconds =
        std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
    event.direction = block.direction;
    event.stage = block.stage;
    event.address = block.address;
    event.port = block.port;
    if (portSource_) {
        event.localPort = portSource_();
    }
    if (block.data != nullptr) {
        event.bytes.assign(block.data, block.data + block.length);
    }
    event.line = line;
    const size_t size = event.Footprint();
    // The block pushed out is freed outside the lock.
    std::deque<SessionEvent> removed;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
        bytes_ += size;
        while (!events_.empty() && (events_.size() > maxEvents_ || bytes_ > maxBytes_)) {
            bytes_ -= events_.front().Footprint();
            removed.push_back(std::move(events_.front()));
            events_.pop_front();
            ++dropped_;
        }
    }
}

void SessionStore::Clear() {
    std::deque<SessionEvent> old;
    const std::lock_guard<std::mutex> lock(mutex_);
    old.swap(events_);
    bytes_ = 0;
    dropped_ = 0;
}

SessionStore::Contents SessionStore::Snapshot() const {
    Contents contents;
    const std::lock_guard<std::mutex> lock(mutex_);
    contents.events.assign(events_.begin(), events_.end());
    contents.dropped = dropped_;
    return contents;
}

size_t SessionStore::Size() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return events_.size();
}

size_t SessionStore::Bytes() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

bool SessionStore::SaveLog(const std::string& path, const SessionSettings& settings,
                           std::string& error) const {
    if (IsStandardStreamName(path, error) || IsFolderPath(path, error)) {
        return false;
    }
    const Contents contents = Snapshot();
    CreatedFile file;
    if (!file.Create(path, error)) {
        return false;
    }
    std::string text = FormatSessionHeader(settings, std::chrono::system_clock::now());
    if (contents.dropped != 0) {
        text += "# " + std::to_string(contents.dropped) +
                " lines dropped: only the newest lines of the session were kept\n";
    }
    for (const SessionEvent& event : contents.events) {
        text += event.line;
    }
    return file.Write(text, error);
}

bool SessionStore::SaveCapture(const std::string& path, uint32_t localAddress, uint16_t localPort,
                               std::string& error) const {
    const Contents contents = Snapshot();
    CaptureFile capture;
    if (!capture.Open(path, error)) {
        return false;
    }
    bool ok = true;
    WireDatagrams wire([&](const SessionEvent& event) {
        if (!ok) {
            return;
        }
        const uint16_t local = portSource_ ? event.localPort : localPort;
        const UdpEndpoints endpoints =
            event.direction == 0 ? UdpEndpoints{event.address, event.port, localAddress, local}
                                 : UdpEndpoints{localAddress, local, event.address, event.port};
        ok = capture.Write(event.microseconds, endpoints, event.bytes, error, false);
    });
    for (const SessionEvent& event : contents.events) {
        wire.Feed(event);
    }
    wire.Flush();
    return ok && capture.Flush(error);
}

}  // namespace tarvu
