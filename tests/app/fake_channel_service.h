#pragma once
// A ChannelService that records the calls and, like the transport, reads the read port
// through the engine's GetMainWindow callback when it opens.

#include "app/channel_service.h"
#include "link/engine.h"
#include "link/main_window.h"
#include "platform/message_box.h"

#include <map>
#include <string>
#include <vector>

namespace tarvu::testing {

class FakeChannelService : public ChannelService {
public:
    int Open(ChannelRequest& request) override {
        const EngineConfig* config = ActiveEngineConfig();
        MainWindow* window = config != nullptr && config->callbacks.GetMainWindow != nullptr
                                 ? config->callbacks.GetMainWindow()
                                 : nullptr;
        const int port = window != nullptr ? PortFieldValue(window->ReadPortText()) : -1;
        openedPorts.push_back(port);
        openedKinds.push_back(request.kind);
        open = !failOpen && openResult == 0;
        lastBindFailure = BindFailure::kNone;
        if (const auto failure = bindFailures.find(port); failure != bindFailures.end()) {
            // As the transport does: its own box, no channel, the reason kept for the caller.
            ShowMessageBox("cnsLibnetProvider::cnsLibnetProvider",
                           "Проблема с инициализаце(порт занят?)");
            open = false;
            lastBindFailure = failure->second;
        }
        return openResult;
    }
    BindFailure LastOpenBindFailure() const override { return lastBindFailure; }
    void Close(ChannelRequest& /*request*/) override {
        ++closeCount;
        open = false;
    }
    bool IsOpen(uint8_t channelNumber) const override { return open && channelNumber == 1; }
    int SubmitUserPacket(const uint8_t* bytes, uint16_t count) override {
        submitted.emplace_back(bytes, bytes + count);
        return 0;
    }

    int openResult = 0;
    bool failOpen = false;  // nothing opened, yet 0 returned (the transport's own message)
    bool open = false;
    int closeCount = 0;
    std::vector<int> openedPorts;
    std::vector<uint8_t> openedKinds;
    std::vector<std::vector<uint8_t>> submitted;
    // Read ports that cannot be bound, and why.
    std::map<int, BindFailure> bindFailures;
    BindFailure lastBindFailure = BindFailure::kNone;
};

}  // namespace tarvu::testing
