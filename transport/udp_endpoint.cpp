// The UDP side of cnsIoDriver: socket set-up, posted receives and the two kinds of send.

#include "transport/io_driver.h"
#include "transport/transport_state.h"

#include <vector>

namespace tarvu {
namespace {

constexpr uint32_t kBroadcastValueLimit = 10000;

// Gathers the buffers into `out` (at most `capacity` bytes); the total, or -1 when it does
// not fit or a buffer is missing.
long Gather(const nsSendBuffer* buffers, uint32_t count, uint8_t* out, size_t capacity) {
    size_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (buffers[i].data == nullptr && buffers[i].length != 0) {
            return -1;
        }
        if (buffers[i].length > capacity - total) {
            return -1;
        }
        std::copy(buffers[i].data, buffers[i].data + buffers[i].length, out + total);
        total += buffers[i].length;
    }
    return static_cast<long>(total);
}

}  // namespace

bool cnsIoDriver::SetUpSocket(const nsOpenParams& params) {
    UdpSocket socket = UdpSocket::Create();
    if (!socket.Valid()) {
        return false;
    }
    const uint32_t broadcast =
        (params.broadcastValue > 0 && params.broadcastValue < kBroadcastValueLimit)
            ? params.broadcastValue
            : 0;
    if (socket.SetBroadcast(broadcast) != 0) {
        return false;
    }
    // The bind port is the read port the channel read from the dialog moments before.
    if (params.bindPort != 0 && socket.Bind(params.bindPort) != 0) {
        return false;
    }
    if (Transport().port->Associate(socket.Handle(), Key()) != 0) {
        return false;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    bound_ = params.bindPort != 0;
    socket_ = std::move(socket);
    return true;
}

int cnsIoDriver::PostReceive() {
    if (IsSerial()) {
        return PostSerialReceive();
    }
    nsOverlapped* record = NewOverlapped(0);
    record->kind = nsIOT_RECV;
    record->addressLength = kSocketAddressLength;
    int result = -1;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        // An unbound socket cannot receive (the system refuses such a receive too).
        if (socket_.Valid() && bound_ && Transport().port) {
            result = Transport().port->PostReceiveFrom(socket_.Handle(), &record->overlapped,
                                                       record->data, kReceiveAreaSize,
                                                       &record->peer, &record->addressLength);
        }
    }
    if (result < 0) {
        DeleteOverlapped(record);  // not retried: one receive fewer is outstanding
    }
    return result;
}

int cnsIoDriver::SendNow(const nsAddress& destination, const nsSendBuffer* buffers,
                         uint32_t count) {
    size_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        total += buffers[i].length;
    }
    std::vector<uint8_t> datagram(total);
    if (Gather(buffers, count, datagram.data(), datagram.size()) < 0) {
        return -1;
    }
    if (IsSerial()) {
        return WriteSerial(buffers[0].data, buffers[0].length, nullptr);
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!socket_.Valid()) {
        return -2;
    }
    return socket_.SendTo(MakeSocketAddress(destination.address, destination.port), datagram.data(),
                          datagram.size());
}

int cnsIoDriver::SendOverlapped(const nsAddress& destination, const nsSendBuffer* buffers,
                                uint32_t count, uint32_t tag) {
    nsOverlapped* record = NewOverlapped(tag);
    record->kind = nsIOT_SEND;
    record->peer = MakeSocketAddress(destination.address, destination.port);
    if (IsSerial()) {
        return WriteSerial(buffers[0].data, buffers[0].length, record);
    }
    // The record carries its own copy, so the caller's buffers may end with this call.
    const long length = Gather(buffers, count, record->sendData, kSendAreaSize);
    if (length < 0) {
        DeleteOverlapped(record);
        return -1;
    }
    record->sendLength = static_cast<uint32_t>(length);
    int sent = kSendFailed;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (socket_.Valid() && Transport().port) {
            sent = socket_.SendTo(record->peer, record->sendData, record->sendLength);
        }
    }
    if (sent != kSendDone) {
        // The socket blocks until the system has taken the datagram, so anything but success
        // is a failure here.
        DeleteOverlapped(record);
        return -1;
    }
    // Sent at once; the completion still arrives through the port.
    Transport().port->Post(record->sendLength, Key(), &record->overlapped);
    return 0;
}

}  // namespace tarvu
