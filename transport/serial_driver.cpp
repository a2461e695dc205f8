// The serial side of cnsIoDriver. A driver is serial when its channel carries a baud rate.
//
// Reception runs in three steps through the completion port: an event wait (readiness of the
// line) completes as nsIOT_WAITCOMM; the worker reads what waits into receive records, each
// queued as an nsIOT_RECV completion of its byte count and delivered like a datagram from
// address 0, port 0; the worker's re-arm after a delivered receive starts the next event wait.
// Writes block the sending thread until the line has taken the frame; their completion still
// arrives as nsIOT_SEND.

#include "platform/debug_output.h"
#include "platform/message_box.h"
#include "transport/io_driver.h"
#include "transport/transport_state.h"

#include <algorithm>

namespace tarvu {
namespace {

const char kOpenFailedCaption[] = "cnsSerialPort::Open";

}  // namespace

bool cnsIoDriver::OpenSerial() {
    auto port = std::make_unique<cnsSerialPort>();
    if (port->Open(serialName_.c_str(), serialBaudRate_) != 1) {
        ShowMessageBox(kOpenFailedCaption, "Не удалось открыть порт на " +
                                               std::to_string(serialBaudRate_) +
                                               " бод: " + port->LastError());
        return false;
    }
    if (Transport().port->Associate(port->Handle(), Key()) != 0) {
        ShowMessageBox(kOpenFailedCaption, "Не удалось открыть порт " + serialName_ +
                                               ": порт завершения не принял его");
        return false;
    }
    const std::lock_guard<std::mutex> lock(serialMutex_);
    serialPort_ = std::move(port);
    return true;
}

int cnsIoDriver::PostSerialReceive() {
    CompletionPort* completions = Transport().port.get();
    if (completions == nullptr) {
        return -1;
    }
    {
        const std::lock_guard<std::mutex> lock(serialMutex_);
        // One outstanding event wait per line is all reception needs, however many threads
        // the driver runs and however many reads one event produced.
        if (!serialPort_ || !serialPort_->IsOpen()) {
            return -1;
        }
        if (serialPort_->WaitOutstanding()) {
            return 1;
        }
    }
    nsOverlapped* record = NewOverlapped(0);
    record->kind = nsIOT_WAITCOMM;
    int result = 0;
    {
        const std::lock_guard<std::mutex> lock(serialMutex_);
        if (serialPort_) {
            result = serialPort_->WaitEvent(*completions, &record->overlapped);
        }
    }
    if (result != 1) {
        DeleteOverlapped(record);
        return -1;
    }
    return 1;
}

void cnsIoDriver::HandleWaitComm(nsOverlapped* record) {
    {
        const std::lock_guard<std::mutex> lock(serialMutex_);
        if (!serialPort_) {
            return;
        }
        serialPort_->ForgetWaitEvent();
    }
    // An aborted wait belongs to a line being closed: nothing more is started on it.
    if (record != nullptr && record->overlapped.status == kErrorOperationAborted) {
        return;
    }
    ReadWaitingCharacters();
}

void cnsIoDriver::ReadWaitingCharacters() {
    long queued = 0;
    {
        const std::lock_guard<std::mutex> lock(serialMutex_);
        queued = serialPort_ ? serialPort_->QueuedBytes() : -1;
    }
    // More than one record's worth is read at once, in further reads, rather than left for
    // the next character event. When the queue reports nothing (or cannot tell), one read
    // still looks: characters may have come since, and a hung-up line reads end of file.
    bool delivered = false;
    for (;;) {
        nsOverlapped* read = NewOverlapped(0);
        read->kind = nsIOT_RECV;
        read->addressLength = kSocketAddressLength;
        const size_t want =
            queued > 0 ? std::min(static_cast<size_t>(queued), kReceiveAreaSize) : kReceiveAreaSize;
        long got = -1;
        {
            const std::lock_guard<std::mutex> lock(serialMutex_);
            if (serialPort_) {
                got = serialPort_->Read(read->data, want);
            }
        }
        if (got > 0) {
            // Queued in order behind the reads before it; each one's re-arm finds the event
            // wait already outstanding after the first.
            Transport().port->Post(static_cast<uint32_t>(got), Key(), &read->overlapped);
            delivered = true;
            queued -= got;
            if (queued > 0) {
                continue;
            }
            return;
        }
        DeleteOverlapped(read);
        if (got == 0) {
            if (!delivered) {
                PostSerialReceive();
            }
            return;
        }
        // The far end hung up or the line failed: no new event wait, so the worker does not
        // spin on a line that reports itself readable for ever. The channel stays until it is
        // closed.
        OutputDebugString("cnsIoDriver: serial line " + serialName_ +
                          " hung up or failed; reception stops\n");
        return;
    }
}

int cnsIoDriver::WriteSerial(const uint8_t* data, size_t n, nsOverlapped* record) {
    int written = 0;
    {
        const std::lock_guard<std::mutex> lock(serialMutex_);
        if (serialPort_) {
            written = serialPort_->Write(data, n);
        }
    }
    if (written != 1) {
        OutputDebugString("cnsIoDriver: write of " + std::to_string(n) + " bytes to serial line " +
                          serialName_ + " failed\n");
        DeleteOverlapped(record);
        return -1;
    }
    if (record != nullptr) {
        record->sendLength = static_cast<uint32_t>(n);
        Transport().port->Post(static_cast<uint32_t>(n), Key(), &record->overlapped);
    }
    return 1;
}

void cnsIoDriver::CancelSerialWrites() {
    // Called on the thread that opens and closes the line, so the pointer cannot change here;
    // the lock may be held by the very write that is to be cancelled.
    if (serialPort_) {
        serialPort_->CancelWrites();
    }
}

void cnsIoDriver::CloseSerial() {
    std::unique_ptr<cnsSerialPort> port;
    {
        const std::lock_guard<std::mutex> lock(serialMutex_);
        port = std::move(serialPort_);
    }
    if (port && Transport().port) {
        // The outstanding event wait completes as aborted before the descriptor goes.
        Transport().port->Detach(port->Handle());
    }
}

}  // namespace tarvu
