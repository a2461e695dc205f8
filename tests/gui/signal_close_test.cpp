// The dialog program itself, ended by a signal: it runs the close box's closing, so the
// closing records and the fields reach the settings file and the channel's port is freed.

#include "app/settings.h"
#include "app/settings_keys.h"
#include "gui_test_registry.h"
#include "loopback_peer.h"
#include "platform/child_process.h"
#include "platform/plain_udp_socket.h"

#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

using tarvu::test::FreeUdpPort;

namespace {

bool CanBind(uint16_t port) {
    tarvu::PlainUdpSocket socket;
    std::string error;
    return socket.Bind(port, error);
}

}  // namespace

class SignalCloseTest : public QObject {
    Q_OBJECT

private slots:
    void signalRunsTheClosing_data() {
        QTest::addColumn<QString>("signal");
        QTest::newRow("SIGTERM") << "term";
        QTest::newRow("SIGINT") << "int";
    }
    void signalRunsTheClosing() {
        QFETCH(QString, signal);
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        const std::filesystem::path dir(directory.path().toStdString());
        tarvu::Settings settings(dir / "settings.ini");
        const uint16_t readPort = FreeUdpPort();
        QVERIFY(settings.Write(tarvu::kSectionUdp, tarvu::kKeyReadPort, std::to_string(readPort)));
        QVERIFY(settings.Write(tarvu::kSectionUdp, tarvu::kKeyPacket, "01 Ж2"));
        QVERIFY(settings.Write(tarvu::kSectionUdp, tarvu::kKeyIpAddress, "10.0.0.1"));

        tarvu::ChildProcess dialog;
        // The test program runs offscreen; the child inherits that.
        QVERIFY(dialog.Start(TARVU_GUI_PATH, {"--settings", settings.File().string()},
                             dir / "tarvu.out", dir / "tarvu.err"));
        // Up and running once its channel holds the read port.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (CanBind(readPort) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        QVERIFY2(!CanBind(readPort), "the dialog never opened its channel");
        QVERIFY(settings.Read(tarvu::kSectionCipher, tarvu::kKeyRsaGost).empty());

        if (signal == "term") {
            dialog.Terminate();
        } else {
            dialog.Interrupt();
        }
        QCOMPARE(dialog.Wait(15000), std::optional<int>(0));
        QCOMPARE(settings.Read(tarvu::kSectionUdp, tarvu::kKeyMacAddress), std::string("01 Ж2"));
        QCOMPARE(settings.Read(tarvu::kSectionCipher, tarvu::kKeyRsaGost), std::string("нет"));
        QCOMPARE(settings.Read(tarvu::kSectionUdp, tarvu::kKeySubstitution), std::string("нет"));
        QCOMPARE(settings.Read(tarvu::kSectionUdp, tarvu::kKeyReadPort), std::to_string(readPort));
        QVERIFY(CanBind(readPort));
    }

    // The read port is taken, so the start-up's message box is open when the signal comes:
    // the box must not hold the program.
    void signalClosesWhileTheStartUpMessageBoxIsOpen() {
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        const std::filesystem::path dir(directory.path().toStdString());
        tarvu::Settings settings(dir / "settings.ini");
        const uint16_t readPort = FreeUdpPort();
        tarvu::PlainUdpSocket taken;
        std::string error;
        QVERIFY(taken.Bind(readPort, error));
        QVERIFY(settings.Write(tarvu::kSectionUdp, tarvu::kKeyReadPort, std::to_string(readPort)));

        tarvu::ChildProcess dialog;
        QVERIFY(dialog.Start(TARVU_GUI_PATH, {"--settings", settings.File().string()},
                             dir / "tarvu.out", dir / "tarvu.err"));
        // Time for the start-up to reach its message box.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        dialog.Terminate();
        QCOMPARE(dialog.Wait(15000), std::optional<int>(0));
        QCOMPARE(settings.Read(tarvu::kSectionCipher, tarvu::kKeyRsaGost), std::string("нет"));
    }
};

TARVU_GUI_TEST(SignalCloseTest);

#include "signal_close_test.moc"
