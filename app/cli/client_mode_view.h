#pragma once
// The dialog's fields for tarvu-cli: kept in memory, with the values given on the command line
// pinned, so that they take the stored values' place when the start-up fills the fields.
// Trace lines go to a sink (standard output through a writer thread in the program).

#include "app/control_state.h"
#include "app/dialog_view.h"

#include <functional>
#include <optional>
#include <string>

namespace tarvu::cli {

struct PinnedFields {
    std::optional<std::array<uint8_t, 4>> ipAddress;
    std::optional<std::string> sendPort;
    std::optional<std::string> readPort;
    std::optional<bool> substitution;
};

class ClientModeView : public DialogView {
public:
    // `trace` receives the trace lines, on whichever thread traces; it must not block.
    using TraceSink = std::function<void(const std::string& line)>;
    ClientModeView(PinnedFields pinned, TraceSink trace);

    std::string PacketText() const override;
    void SetPacketText(const std::string& text) override;
    std::array<uint8_t, 4> IpAddress() const override;
    void SetIpAddress(const std::array<uint8_t, 4>& octets) override;
    std::string ReadPortText() const override;
    void SetReadPortText(const std::string& text) override;
    std::string SendPortText() const override;
    void SetSendPortText(const std::string& text) override;
    bool SubstitutionChecked() const override;
    void SetSubstitutionChecked(bool checked) override;
    MainWindow& Controls() override { return controls_; }
    void ClearAddressList() override {}
    void AddAddressLine(const std::string& /*line*/) override {}
    void SetStatusText(int /*which*/, const std::string& /*text*/) override {}
    void AppendTraceLine(const std::string& line) override;

private:
    PinnedFields pinned_;
    TraceSink trace_;
    std::string packet_;
    ControlState controls_;
};

}  // namespace tarvu::cli
