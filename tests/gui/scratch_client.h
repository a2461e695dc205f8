#pragma once
// The client of a dialog test: a scratch folder with a settings file of its own, message boxes
// recorded instead of shown, and the real ClientApp once the test starts it. A test class
// derives from it beside QObject and calls SetUpClient from init() and TearDownClient from
// cleanup().

#include "app/gui/client_app.h"
#include "app/gui/dialog_controls.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "platform/message_box.h"

#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tarvu::test {

// Generous: the engine waits 300 ms after a typed packet, and the machine may be busy.
constexpr int kWaitMs = 8000;

// "127.000.000.001:01234" as the trace prints a loopback peer.
inline QString LoopbackPeerText(uint16_t port) {
    return QStringLiteral("127.000.000.001:%1").arg(port, 5, 10, QLatin1Char('0'));
}

class ScratchClient {
protected:
    void SetUpClient() {
        directory_ = std::make_unique<QTemporaryDir>();
        QVERIFY(directory_->isValid());
        settings_ = std::make_unique<tarvu::Settings>(
            std::filesystem::path(directory_->filePath("settings.ini").toStdString()));
        messages_.clear();
        previousHandler_ = tarvu::SetMessageBoxHandler(
            [this](const std::string& caption, const std::string& text) {
                std::lock_guard<std::mutex> lock(messagesMutex_);
                messages_.push_back(caption + ": " + text);
            });
    }
    void TearDownClient() {
        client_.reset();
        tarvu::SetMessageBoxHandler(std::move(previousHandler_));
        settings_.reset();
        directory_.reset();
    }

    tarvu::MainDialog& Dialog() { return client_->Dialog(); }
    template <typename T = QWidget>
    T* Control(int id) {
        return Dialog().findChild<T*>(tarvu::control::Name(id), Qt::FindDirectChildrenOnly);
    }
    std::string Stored(std::string_view key, std::string_view section = tarvu::kSectionUdp) {
        return settings_->Read(section, key);
    }
    void Store(std::string_view key, std::string_view value,
               std::string_view section = tarvu::kSectionUdp) {
        QVERIFY(settings_->Write(section, key, value));
    }
    // A stored set-up that talks to `sendPort` on loopback and listens on `readPort`.
    void StoreLoopback(uint16_t readPort, uint16_t sendPort) {
        Store(tarvu::kKeyReadPort, std::to_string(readPort));
        Store(tarvu::kKeySendPort, std::to_string(sendPort));
        Store(tarvu::kKeyIpAddress, "127.0.0.1");
    }
    std::vector<std::string> Messages() {
        std::lock_guard<std::mutex> lock(messagesMutex_);
        return messages_;
    }

    std::unique_ptr<QTemporaryDir> directory_;
    std::unique_ptr<tarvu::Settings> settings_;
    std::unique_ptr<tarvu::ClientApp> client_;
    tarvu::MessageBoxHandler previousHandler_;
    std::mutex messagesMutex_;
    std::vector<std::string> messages_;
};

}  // namespace tarvu::test
