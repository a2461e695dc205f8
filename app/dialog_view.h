#pragma once
// The dialog's controls as the application logic uses them. The Qt dialog implements this;
// the command line implements it over its options. Setters are called on the user-interface
// thread; AppendTraceLine and SetStatusText may be called on the worker thread and must only
// post. Controls() may be called from any thread.

#include "link/main_window.h"

#include <array>
#include <cstdint>
#include <string>

namespace tarvu {

class DialogView {
public:
    virtual ~DialogView() = default;

    // Packet field 1040.
    virtual std::string PacketText() const = 0;
    virtual void SetPacketText(const std::string& text) = 0;
    // IP-address control 2045, first octet first; a blank control reads 0.0.0.0.
    virtual std::array<uint8_t, 4> IpAddress() const = 0;
    virtual void SetIpAddress(const std::array<uint8_t, 4>& octets) = 0;
    // Read-port field 1046 and send-port field 1047.
    virtual std::string ReadPortText() const = 0;
    virtual void SetReadPortText(const std::string& text) = 0;
    virtual std::string SendPortText() const = 0;
    virtual void SetSendPortText(const std::string& text) = 0;
    // Substitution switch 1045.
    virtual bool SubstitutionChecked() const = 0;
    virtual void SetSubstitutionChecked(bool checked) = 0;
    // The four controls the engine reads (2045, 1047, 1046, 1045) as the one thread-safe
    // object that the view keeps current on every change, typed or set; the engine's
    // GetMainWindow hands it out. It lives as long as the view.
    virtual MainWindow& Controls() = 0;
    // Address list 1035.
    virtual void ClearAddressList() = 0;
    virtual void AddAddressLine(const std::string& line) = 0;
    // Hidden edits 1073 (which = 0) and 1074 (which = 1).
    virtual void SetStatusText(int which, const std::string& text) = 0;
    // One finished trace line (with its "\n"), from any thread.
    virtual void AppendTraceLine(const std::string& line) = 0;
    // Hidden combo box 1039 to item 0 and hidden edit 1038 to "0"; views without them ignore it.
    virtual void ResetHiddenControls() {}
};

}  // namespace tarvu
