#include "app/cli/client_mode_view.h"

#include <utility>

namespace tarvu::cli {

ClientModeView::ClientModeView(PinnedFields pinned, TraceSink trace)
    : pinned_(std::move(pinned)), trace_(std::move(trace)) {
    controls_.SetIpAddress(pinned_.ipAddress.value_or(std::array<uint8_t, 4>{}));
    controls_.SetSendPortText(pinned_.sendPort.value_or(std::string()));
    controls_.SetReadPortText(pinned_.readPort.value_or(std::string()));
    controls_.SetSubstitutionChecked(pinned_.substitution.value_or(false));
}

std::string ClientModeView::PacketText() const {
    return packet_;
}

void ClientModeView::SetPacketText(const std::string& text) {
    packet_ = text;
}

std::array<uint8_t, 4> ClientModeView::IpAddress() const {
    return controls_.ReadIpAddress();
}

void ClientModeView::SetIpAddress(const std::array<uint8_t, 4>& octets) {
    controls_.SetIpAddress(pinned_.ipAddress.value_or(octets));
}

std::string ClientModeView::ReadPortText() const {
    return controls_.ReadPortText();
}

void ClientModeView::SetReadPortText(const std::string& text) {
    controls_.SetReadPortText(pinned_.readPort.value_or(text));
}

std::string ClientModeView::SendPortText() const {
    return controls_.SendPortText();
}

void ClientModeView::SetSendPortText(const std::string& text) {
    controls_.SetSendPortText(pinned_.sendPort.value_or(text));
}

bool ClientModeView::SubstitutionChecked() const {
    return controls_.SubstitutionChecked();
}

void ClientModeView::SetSubstitutionChecked(bool checked) {
    controls_.SetSubstitutionChecked(pinned_.substitution.value_or(checked));
}

void ClientModeView::AppendTraceLine(const std::string& line) {
    trace_(line);
}

}  // namespace tarvu::cli
