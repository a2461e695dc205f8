#pragma once
// A DialogView that keeps the fields in memory and records what the logic shows.

#include "app/dialog_view.h"
#include "link/main_window.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tarvu::testing {

class FakeDialogView : public DialogView {
public:
    std::string PacketText() const override { return packet; }
    void SetPacketText(const std::string& text) override { packet = text; }
    std::array<uint8_t, 4> IpAddress() const override { return ip; }
    void SetIpAddress(const std::array<uint8_t, 4>& octets) override { ip = octets; }
    std::string ReadPortText() const override { return readPort; }
    void SetReadPortText(const std::string& text) override {
        readPort = text;
        if (onReadPortChanged) {
            onReadPortChanged();
        }
    }
    std::string SendPortText() const override { return sendPort; }
    void SetSendPortText(const std::string& text) override { sendPort = text; }
    bool SubstitutionChecked() const override { return substitution; }
    void SetSubstitutionChecked(bool checked) override { substitution = checked; }
    MainWindow& Controls() override { return controls; }
    void ClearAddressList() override { addressLines.clear(); }
    void AddAddressLine(const std::string& line) override { addressLines.push_back(line); }
    void SetStatusText(int which, const std::string& text) override {
        status[which == 0 ? 0 : 1] = text;
    }
    void AppendTraceLine(const std::string& line) override {
        std::lock_guard<std::mutex> lock(traceMutex);
        traceLines.push_back(line);
    }
    void ResetHiddenControls() override { hiddenReset = true; }

    std::string packet;
    std::array<uint8_t, 4> ip = {};
    std::string readPort;
    std::string sendPort;
    bool substitution = false;
    std::vector<std::string> addressLines;
    std::string status[2];
    std::mutex traceMutex;
    std::vector<std::string> traceLines;
    bool hiddenReset = false;

    // The engine's view of the fields above; the tests read and write them on one thread.
    class Window : public MainWindow {
    public:
        explicit Window(const FakeDialogView& view) : view_(view) {}
        std::array<uint8_t, 4> ReadIpAddress() const override { return view_.ip; }
        std::string SendPortText() const override { return view_.sendPort; }
        std::string ReadPortText() const override { return view_.readPort; }
        bool SubstitutionChecked() const override { return view_.substitution; }

    private:
        const FakeDialogView& view_;
    } controls{*this};
    // Stands in for the field's change notification, fired by every text change.
    std::function<void()> onReadPortChanged;
};

}  // namespace tarvu::testing
