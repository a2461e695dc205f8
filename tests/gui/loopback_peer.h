#pragma once
// A UDP peer on a kernel-chosen loopback port for the dialog's end-to-end tests: it records
// every datagram and, unless told otherwise, sends it straight back.

#include "platform/plain_udp_socket.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvu::test {

using Bytes = std::vector<uint8_t>;

// 127.0.0.1 in network byte order.
inline uint32_t Loopback() {
    const uint8_t octets[4] = {127, 0, 0, 1};
    uint32_t address = 0;
    std::memcpy(&address, octets, sizeof address);
    return address;
}

// A port the kernel reported free a moment ago.
inline uint16_t FreeUdpPort() {
    PlainUdpSocket socket;
    std::string error;
    return socket.Bind(0, error) ? socket.LocalPort() : 0;
}

// Sends one datagram to 127.0.0.1:`port` from a fresh socket; returns the port it left from.
inline uint16_t SendFromLoopback(uint16_t port, const Bytes& bytes) {
    PlainUdpSocket socket;
    std::string error;
    if (!socket.Bind(0, error)) {
        return 0;
    }
    return socket.SendTo({Loopback(), port}, bytes.data(), bytes.size()) ? socket.LocalPort() : 0;
}

class EchoPeer {
public:
    explicit EchoPeer(bool echo = true) : echo_(echo) {
        std::string error;
        bound_ = socket_.Bind(0, error);
        if (bound_) {
            thread_ = std::thread([this] { Run(); });
        }
    }
    ~EchoPeer() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    EchoPeer(const EchoPeer&) = delete;
    EchoPeer& operator=(const EchoPeer&) = delete;

    bool Bound() const { return bound_; }
    uint16_t Port() const { return socket_.LocalPort(); }
    std::vector<Bytes> Received() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

private:
    void Run() {
        uint8_t buffer[2048];
        while (!stop_) {
            UdpPeer from;
            const int n = socket_.ReceiveFrom(buffer, sizeof buffer, from, 50);
            if (n < 0) {
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                received_.emplace_back(buffer, buffer + n);
            }
            if (echo_) {
                socket_.SendTo(from, buffer, static_cast<size_t>(n));
            }
        }
    }

    PlainUdpSocket socket_;
    bool echo_;
    bool bound_ = false;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Bytes> received_;
    std::thread thread_;
};

}  // namespace tarvu::test
