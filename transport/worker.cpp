#include "transport/worker.h"

#include "link/ns_address.h"
#include "link/receive_facts.h"
#include "platform/debug_output.h"
#include "platform/thread_id.h"
#include "transport/channel_table.h"
#include "transport/libnet_provider.h"
#include "transport/transport_state.h"

#include <cinttypes>
#include <cstdio>

namespace tarvu {
namespace {

const char* KindName(uint32_t kind) {
    switch (kind) {
        case nsIOT_ERROR:
            return "nsIOT_ERROR";
        case nsIOT_SEND:
            return "nsIOT_SEND";
        case nsIOT_WAITCOMM:
            return "nsIOT_WAITCOMM";
        case nsT_TIMER_SEND:
            return "nsT_TIMER_SEND";
        default:
            return "неизвесн.";
    }
}

// Lines are composed only when someone reads them: formatting costs the receive path more
// than a tenth of its time.
void EmitCompletionLine(uintptr_t key, uint32_t kind, uint32_t bytes, uint32_t threadId,
                        uint32_t running) {
    if (DebugOutputEnabled()) {
        OutputDebugString(FormatCompletionLine(key, kind, bytes, threadId, running));
    }
}

void EmitDeleteLine(uintptr_t key, const cnsIoDriver* driver) {
    if (DebugOutputEnabled()) {
        OutputDebugString(FormatDeleteLine(key, driver));
    }
}

void ReturnRecord(cnsIoDriver* driver, uintptr_t key, nsOverlapped* record) {
    EmitDeleteLine(key, driver);
    driver->DeleteOverlapped(record);
}

ReceiveFacts FactsOf(const DatagramFacts& datagram) {
    ReceiveFacts facts;
    facts.receivedMicros = datagram.receivedMicros;
    facts.wireLength = datagram.wireLength;
    facts.droppedBefore = datagram.droppedBefore;
    return facts;
}

void DeliverReceive(const nsOverlapped& record, const Completion& completion) {
    // Every datagram goes to the lowest open channel, whichever socket it came in on.
    ChannelPin target = PinLowestOpenChannel();
    if (!target) {
        return;
    }
    nsAddress sender;
    sender.address = record.peer.address;
    sender.port = SocketAddressPort(record.peer);
    // The trace callback reads what the system told about the datagram on this thread.
    const ReceiveFacts facts = FactsOf(completion.datagram);
    const ReceiveFactsScope scope(facts);
    target->Link().ReceiveChunk(sender, record.data, completion.bytes);
}

// A datagram of no bytes is not delivered (the link protocol has nothing to take from it), but
// it was on the wire: the application hears of it.
void NoteEmpty(const nsOverlapped& record, const Completion& completion) {
    nsAddress sender;
    sender.address = record.peer.address;
    sender.port = SocketAddressPort(record.peer);
    NoteEmptyDatagram(sender, FactsOf(completion.datagram));
}

}  // namespace

std::string FormatCompletionLine(uintptr_t key, uint32_t kind, uint32_t bytes, uint32_t threadId,
                                 uint32_t running) {
    char line[160];
    const auto wideKey = static_cast<uintmax_t>(key);
    if (kind == nsIOT_RECV) {
        std::snprintf(line, sizeof line, "0x%.4jx %s = %d b %d\n", wideKey, "nsIOT_RECV",
                      static_cast<int>(bytes), static_cast<int>(running));
    } else if (kind == nsIOT_QUIT) {
        std::snprintf(line, sizeof line, "0x%.4jx %s 0x%.4x %d\n", wideKey,
                      "nsIOT_QUIT TreadID =", threadId, static_cast<int>(running));
    } else {
        std::snprintf(line, sizeof line, "0x%.4jx %s %d\n", wideKey, KindName(kind),
                      static_cast<int>(running));
    }
    return line;
}

std::string FormatDeleteLine(uintptr_t key, const cnsIoDriver* driver) {
    char line[160];
    std::snprintf(line, sizeof line, "Перед вызовом DeleteOverlapped 0x%.4jx ,  this =  0x%.4jx\n",
                  static_cast<uintmax_t>(key),
                  static_cast<uintmax_t>(reinterpret_cast<uintptr_t>(driver)));
    return line;
}

void WorkerThread() {
    TransportState& state = Transport();
    // The port outlives every worker: it is destroyed only after all of them were joined.
    CompletionPort& port = *state.port;
    for (;;) {
        Completion completion;
        if (!port.Get(&completion, kWaitInfinite) || completion.overlapped == nullptr) {
            continue;
        }
        nsOverlapped* record = RecordOf(completion.overlapped);
        const uintptr_t key = completion.key;
        const uint32_t kind = record->kind;

        if (kind == nsIOT_QUIT) {
            // A quit names the channel being closed, which waits for this thread to end.
            auto* channel = reinterpret_cast<cnsLibnetProvider*>(key);
            EmitCompletionLine(key, kind, completion.bytes, CurrentThreadId(), channel->Running());
            --state.runningThreads;
            ReturnRecord(channel->Driver(), key, record);
            port.LeaveThread();
            return;
        }

        // A completion may outlive its channel when another driver's worker takes it; such a
        // record is not returned (every record is released with the last driver anyway).
        ChannelPin channel = PinChannel(key);
        EmitCompletionLine(key, kind, completion.bytes, 0, channel ? channel->Running() : 0);
        if (completion.error == kErrorOperationAborted) {
            OutputDebugString("ERROR_OPERATION_ABORTED; \n");
        }
        if (!channel || !channel->HasOpenedDriver()) {
            if (channel && kind == nsT_TIMER_SEND) {
                channel->SendStepTaken();
            }
            continue;
        }
        cnsIoDriver* driver = channel->Driver();
        switch (kind) {
            case nsIOT_RECV:
                if (channel->Receiving() == 1) {
                    // A failed receive (port unreachable, aborted) reports 0 bytes.
                    if (completion.bytes > 0) {
                        DeliverReceive(*record, completion);
                    } else if (completion.error == kErrorNone && !driver->IsSerial()) {
                        NoteEmpty(*record, completion);
                    }
                    EmitDeleteLine(key, driver);
                    driver->PostReceive();
                }
                break;
            case nsIOT_WAITCOMM:
                driver->HandleWaitComm(record);
                break;
            case nsT_TIMER_SEND:
                if (channel->Running() == 1) {
                    channel->Link().SendStep();
                }
                channel->SendStepTaken();
                break;
            default:  // nsIOT_SEND, nsIOT_ERROR and unknown kinds: nothing further
                break;
        }
        ReturnRecord(driver, key, record);
    }
}

}  // namespace tarvu
