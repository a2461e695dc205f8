#include "app/cli/client_mode_view.h"

#include <utility>

namespace tarvu::cli {

ClientModeView::ClientModeView(PinnedFields pinned, TraceSink trace)
    : pinned_(std::move(pinned)), trace_(std::move(trace)) {
    ipAddress_ = pinned_.ipAddress.value_or(ipAddress_);
    sendPort_ = pinned_.sendPort.value_or(sendPort_);
    readPort_ = pinned_.readPort.value_or(readPort_);
    substitution_ = pinned_.substitution.value_or(substitution_);
}

std::string ClientModeView::PacketText() const {
    return packet_;
}

void ClientModeView::SetPacketText(const std::string& text) {
    packet_ = text;
}

std::array<uint8_t, 4> ClientModeView::IpAddress() const {
    return ipAddress_;
}

void ClientModeView::SetIpAddress(const std::array<uint8_t, 4>& octets) {
    ipAddress_ = pinned_.ipAddress.value_or(octets);
}

std::string ClientModeView::ReadPortText() const {
    return readPort_;
}

void ClientModeView::SetReadPortText(const std::string& text) {
    readPort_ = pinned_.readPort.value_or(text);
}

std::string ClientModeView::SendPortText() const {
    return sendPort_;
}

void ClientModeView::SetSendPortText(const std::string& text) {
    sendPort_ = pinned_.sendPort.value_or(text);
}

bool ClientModeView::SubstitutionChecked() const {
    return substitution_;
}

void ClientModeView::SetSubstitutionChecked(bool checked) {
    substitution_ = pinned_.substitution.value_or(checked);
}

void ClientModeView::AppendTraceLine(const std::string& line) {
    trace_(line);
}

}  // namespace tarvu::cli
