#include "transport/channel_table.h"

#include "link/engine.h"
#include "transport/libnet_provider.h"
#include "transport/transport_state.h"

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_set>

namespace tarvu {
namespace {

using Table = std::array<cnsLibnetProvider*, kChannelSlots>;

// The table is changed only by the thread that opens and closes channels; workers read it
// (and the live set) under the lock to pin a channel.
struct Channels {
    std::mutex mutex;
    std::condition_variable unpinned;
    std::unique_ptr<Table> table;
    std::unordered_set<const cnsLibnetProvider*> live;
    bool socketsStarted = false;
    bool serialOpened = false;
};

Channels& TheChannels() {
    static Channels channels;
    return channels;
}

ChannelPin PinLocked(Channels& c, cnsLibnetProvider* channel) {
    if (channel == nullptr || c.live.count(channel) == 0) {
        return ChannelPin();
    }
    ++channel->pins;
    return ChannelPin(channel);
}

// The blank default record: zeros throughout, never filled.
const ChannelRecord& BlankRecord() {
    static const ChannelRecord blank;
    return blank;
}

bool RecordAllowsOpening(const ChannelRecord* record) {
    return record != nullptr && (record->flags & kChannelConfigured) != 0 &&
           (record->flags & kChannelDisabled) == 0;
}

}  // namespace

ChannelPin::~ChannelPin() {
    if (channel_ == nullptr) {
        return;
    }
    Channels& c = TheChannels();
    const std::lock_guard<std::mutex> lock(c.mutex);
    if (--channel_->pins == 0) {
        c.unpinned.notify_all();
    }
}

ChannelPin::ChannelPin(ChannelPin&& other) noexcept : channel_(other.channel_) {
    other.channel_ = nullptr;
}

ChannelPin PinChannel(uintptr_t key) {
    Channels& c = TheChannels();
    const std::lock_guard<std::mutex> lock(c.mutex);
    // The key is only looked up, never followed, until the set says the object is alive.
    return PinLocked(c, reinterpret_cast<cnsLibnetProvider*>(key));
}

ChannelPin PinLowestOpenChannel() {
    Channels& c = TheChannels();
    const std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.table) {
        return ChannelPin();
    }
    for (cnsLibnetProvider* channel : *c.table) {
        if (channel != nullptr) {
            return PinLocked(c, channel);
        }
    }
    return ChannelPin();
}

ChannelPin PinOpenChannel(int number) {
    Channels& c = TheChannels();
    const std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.table || number < 0 || number >= kChannelSlots) {
        return ChannelPin();
    }
    return PinLocked(c, (*c.table)[number]);
}

void RegisterLiveChannel(cnsLibnetProvider* channel) {
    Channels& c = TheChannels();
    const std::lock_guard<std::mutex> lock(c.mutex);
    c.live.insert(channel);
}

void UnregisterLiveChannel(cnsLibnetProvider* channel) {
    Channels& c = TheChannels();
    std::unique_lock<std::mutex> lock(c.mutex);
    if (c.live.erase(channel) == 0) {
        return;
    }
    if (c.table) {
        for (cnsLibnetProvider*& slot : *c.table) {
            if (slot == channel) {
                slot = nullptr;
            }
        }
    }
    c.unpinned.wait(lock, [channel] { return channel->pins == 0; });
    lock.unlock();
    // Completions still queued for the object would name a released address.
    if (Transport().port) {
        Transport().port->DiscardKey(reinterpret_cast<uintptr_t>(channel));
    }
}

cnsLibnetProvider* FindChannel(int number) {
    Channels& c = TheChannels();
    const std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.table || number < 0 || number >= kChannelSlots) {
        return nullptr;
    }
    return (*c.table)[number];
}

bool ChannelTableExists() {
    Channels& c = TheChannels();
    const std::lock_guard<std::mutex> lock(c.mutex);
    return c.table != nullptr;
}

void ForEachOpenChannel(const std::function<void(cnsLibnetProvider&)>& visit) {
    Channels& c = TheChannels();
    Table copy = {};
    {
        const std::lock_guard<std::mutex> lock(c.mutex);
        if (!c.table) {
            return;
        }
        copy = *c.table;
    }
    // Channels leave the table only on the calling thread, so the copy stays valid.
    for (cnsLibnetProvider* channel : copy) {
        if (channel != nullptr) {
            visit(*channel);
        }
    }
}

namespace {
thread_local BindFailure lastOpenBindFailure = BindFailure::kNone;
}  // namespace

BindFailure LastOpenBindFailure() {
    return lastOpenBindFailure;
}

int OpenChannel(const ChannelRequest& request) {
    Channels& c = TheChannels();
    lastOpenBindFailure = BindFailure::kNone;
    const EngineConfig* config = ActiveEngineConfig();
    const bool acceptUnconfigured = EngineAcceptsUnconfigured() == 1;
    const ChannelRecord* record = nullptr;
    if (config != nullptr && config->callbacks.LookupChannel != nullptr) {
        record = config->callbacks.LookupChannel(&request);
    }
    if (!acceptUnconfigured && !RecordAllowsOpening(record)) {
        return 0;
    }
    if (request.kind == kChannelKindSerial) {
        c.serialOpened = true;
    } else if (request.kind == kChannelKindUdp) {
        c.socketsStarted = true;  // sockets need no start-up here; it cannot fail
    } else {
        return 0;
    }
    // A second object in an occupied slot would push the first out of the table while its
    // driver and worker kept running. A UDP channel is told as the already-open check tells
    // it (the occupant is open); a serial line is refused without a word.
    if (FindChannel(request.channelNumber) != nullptr) {
        if (request.kind == kChannelKindUdp) {
            cnsLibnetProvider::ReportAlreadyOpen();
        }
        return 0;
    }

    TakeLastBindFailure();
    auto channel =
        std::make_unique<cnsLibnetProvider>(request, acceptUnconfigured ? BlankRecord() : *record);
    const BindFailure bindFailure = TakeLastBindFailure();
    if (channel->Failed()) {
        lastOpenBindFailure = bindFailure;
        return 0;  // the destructor tears the half-built channel down
    }
    const std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.table) {
        c.table = std::make_unique<Table>();
        c.table->fill(nullptr);
    }
    (*c.table)[request.channelNumber] = channel.get();
    channel->SetRunning(1);
    channel.release();  // owned by the table until CloseChannel
    return 0;
}

int CloseChannel(const ChannelRequest& request) {
    Channels& c = TheChannels();
    std::unique_ptr<cnsLibnetProvider> channel(FindChannel(request.channelNumber));
    if (!channel) {
        return 0;
    }
    channel->Stop();
    channel.reset();
    if (Transport().openDrivers.load() == 0) {
        const std::lock_guard<std::mutex> lock(c.mutex);
        c.table.reset();
    }
    return 0;
}

}  // namespace tarvu
