#include "app/cli/peer_link.h"

#include "platform/completion_port.h"
#include "platform/serial_port.h"

namespace tarvu::cli {
namespace {

class UdpPeerLink final : public PeerLink {
public:
    int Receive(uint8_t* buffer, size_t capacity, UdpPeer& from, int timeoutMs) override {
        return socket_.ReceiveFrom(buffer, capacity, from, timeoutMs);
    }
    bool Send(const UdpPeer& to, const uint8_t* data, size_t n) override {
        return socket_.SendTo(to, data, n);
    }
    std::string Describe() const override {
        return "UDP port " + std::to_string(socket_.LocalPort());
    }
    bool Bind(uint16_t port, std::string& error) { return socket_.Bind(port, error); }

private:
    PlainUdpSocket socket_;
};

class SerialPeerLink final : public PeerLink {
public:
    ~SerialPeerLink() override {
        if (port_ && serial_.IsOpen()) {
            port_->Detach(serial_.Handle());
        }
    }

    bool Open(const std::string& device, uint32_t baudRate, std::string& error) {
        port_ = CompletionPort::Create(1);
        if (!port_) {
            error = "no completion port";
            return false;
        }
        if (serial_.Open(device.c_str(), baudRate) != 1) {
            error = serial_.LastError();
            return false;
        }
        if (port_->Associate(serial_.Handle(), kKey) != 0) {
            error = device + ": cannot wait for its input";
            return false;
        }
        description_ = device + " at " + std::to_string(baudRate) + " baud";
        return true;
    }

    int Receive(uint8_t* buffer, size_t capacity, UdpPeer& from, int timeoutMs) override {
        from = UdpPeer{};
        long got = serial_.Read(buffer, capacity);
        if (got != 0) {
            return got < 0 ? -2 : static_cast<int>(got);
        }
        if (serial_.WaitEvent(*port_, &wait_) != 1) {
            return -2;
        }
        Completion completion;
        if (!port_->Get(&completion, timeoutMs)) {
            return -1;
        }
        serial_.ForgetWaitEvent();
        if (completion.error != kErrorNone) {
            return -2;
        }
        got = serial_.Read(buffer, capacity);
        return got < 0 ? -2 : got == 0 ? -1 : static_cast<int>(got);
    }

    bool Send(const UdpPeer& /*to*/, const uint8_t* data, size_t n) override {
        return serial_.Write(data, n) == 1;
    }

    std::string Describe() const override { return description_; }

private:
    static constexpr uintptr_t kKey = 1;
    std::unique_ptr<CompletionPort> port_;
    cnsSerialPort serial_;
    Overlapped wait_;
    std::string description_;
};

}  // namespace

std::unique_ptr<PeerLink> OpenUdpPeerLink(uint16_t port, std::string& error) {
    auto link = std::make_unique<UdpPeerLink>();
    if (!link->Bind(port, error)) {
        return nullptr;
    }
    return link;
}

std::unique_ptr<PeerLink> OpenSerialPeerLink(const std::string& device, uint32_t baudRate,
                                             std::string& error) {
    auto link = std::make_unique<SerialPeerLink>();
    if (!link->Open(device, baudRate, error)) {
        return nullptr;
    }
    return link;
}

}  // namespace tarvu::cli
