// The whole client end to end: the real dialog, the application logic, the engine and its UDP
// channel, and a settings file of the test's own, against a loopback peer.

#include "app/gui/client_app.h"

#include "app/gui/about_dialog.h"
#include "app/gui/dialog_controls.h"
#include "app/gui/ip_address_edit.h"
#include "app/gui/trace_view.h"
#include "app/gui/tray_icon.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "gui_test_registry.h"
#include "link/hex_text.h"
#include "loopback_peer.h"
#include "platform/cp1251.h"
#include "platform/message_box.h"
#include "privileged_ports.h"
#include "scratch_client.h"
#include "type_text.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

using tarvu::test::Bytes;
using tarvu::test::EchoPeer;
using tarvu::test::FreeUdpPort;
using tarvu::test::kWaitMs;
using tarvu::test::SendFromLoopback;
using tarvu::test::Type;

namespace {

const QString kContinuation = QString(31, QLatin1Char(' ')) + QStringLiteral("...");

bool TwoAddresses(std::vector<tarvu::LocalAddress>& out) {
    out = {{{192, 168, 1, 5}, {255, 255, 255, 0}}, {{10, 0, 0, 17}, {255, 0, 0, 0}}};
    return true;
}

QString Peer(uint16_t port) {
    return tarvu::test::LoopbackPeerText(port);
}

QString Hex(const Bytes& bytes) {
    return QString::fromStdString(tarvu::FormatHexBytes(bytes));
}

// Closes the next About box that opens and remembers its caption.
class AboutCloser : public QObject {
public:
    AboutCloser() {
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (auto* about =
                    qobject_cast<tarvu::AboutDialog*>(QApplication::activeModalWidget())) {
                caption = about->windowTitle();
                about->accept();
                timer_.stop();
            }
        });
        timer_.start();
    }
    QString caption;

private:
    QTimer timer_;
};

}  // namespace

class ClientAppTest : public QObject, private tarvu::test::ScratchClient {
    Q_OBJECT

private:
    QLineEdit* Edit(int id) { return Control<QLineEdit>(id); }

    void Start(tarvu::AddressQuery addresses = TwoAddresses) {
        client_ = std::make_unique<tarvu::ClientApp>(*settings_, "tarvu",
                                                     tarvu::TransportChannels(), addresses);
        client_->Start();
        Dialog().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&Dialog()));
    }

    QStringList TraceLines() {
        return Control<tarvu::TraceView>(tarvu::control::kTrace)
            ->toPlainText()
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // Index of the first trace line that is `expected` after its 13-character time stamp (or,
    // for a continuation line, that is `expected` whole); -1 when there is none.
    int TraceIndex(const QString& expected) {
        const QStringList lines = TraceLines();
        for (int i = 0; i < lines.size(); ++i) {
            if (lines[i] == expected || (lines[i].size() > 13 && lines[i].mid(13) == expected)) {
                return i;
            }
        }
        return -1;
    }

    static bool CanBind(uint16_t port) {
        tarvu::PlainUdpSocket socket;
        std::string error;
        return socket.Bind(port, error);
    }

private slots:
    void init() { SetUpClient(); }
    void cleanup() { TearDownClient(); }

    // Without a settings file the dialog shows the defaults and the file holds them, in the
    // order start-up reads them; the address list shows every address with its mask.
    void firstStartFillsDefaultsAndWritesTheFile() {
        Start();
        QCOMPARE(Edit(tarvu::control::kReadPort)->text(), QStringLiteral("10001"));
        QCOMPARE(Edit(tarvu::control::kSendPort)->text(), QStringLiteral("10001"));
        QCOMPARE(Edit(tarvu::control::kPacket)->text(), QStringLiteral("7E 7F"));
        QVERIFY(!Control<QCheckBox>(tarvu::control::kSubstitution)->isChecked());
        QVERIFY(Control<tarvu::IpAddressEdit>(tarvu::control::kDestination)->IsBlank());
        auto* list = Control<QListWidget>(tarvu::control::kAddressList);
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QStringLiteral("192.168.001.005   255.255.255.000"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("010.000.000.017   255.000.000.000"));

        std::ifstream in(settings_->File(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        QCOMPARE(QString::fromStdString(tarvu::Cp1251ToUtf8(bytes.str())),
                 QStringLiteral("[UDP]\r\nЗАМЕНА 7E 7F 7D=нет\r\nПОРТ IN=10001\r\n"
                                "ПОРТ OUT=10001\r\nIP ADDRES=\r\nPACKETIK=7E 7F\r\n"));
    }

    // An address and a port typed into the dialog take the packet to the peer; the sent and
    // the echoed datagram show in the trace. With the switch ticked the frame leaves, and the
    // coded and the decoded form follow as continuation lines.
    void sendToLoopbackPeerTracesBothWays() {
        EchoPeer peer;
        QVERIFY(peer.Bound());
        const uint16_t readPort = FreeUdpPort();
        Store(tarvu::kKeyReadPort, std::to_string(readPort));
        Start();
        QVERIFY(client_->Logic().ChannelOpen());

        Control(tarvu::control::kDestination)->setFocus();
        Type("127.0.0.1");
        Edit(tarvu::control::kSendPort)->clear();
        Edit(tarvu::control::kSendPort)->setFocus();
        Type(std::to_string(peer.Port()).c_str());
        Edit(tarvu::control::kPacket)->clear();
        Edit(tarvu::control::kPacket)->setFocus();
        Type("0511017e03");
        QTest::mouseClick(Control(tarvu::control::kSend), Qt::LeftButton);

        QCOMPARE(Edit(tarvu::control::kPacket)->text(), QStringLiteral("05 11 01 7e 03"));
        QCOMPARE(Stored(tarvu::kKeyPacket), std::string("05 11 01 7e 03"));
        const QString sent = Peer(peer.Port()) + QStringLiteral(" <-- 05 11 01 7E 03");
        const QString echoed = Peer(peer.Port()) + QStringLiteral(" --> 05 11 01 7E 03");
        QTRY_VERIFY_WITH_TIMEOUT(TraceIndex(echoed) >= 0, kWaitMs);
        QVERIFY(TraceIndex(sent) >= 0);
        QVERIFY(TraceIndex(sent) < TraceIndex(echoed));
        QCOMPARE(peer.Received().size(), size_t{1});
        QVERIFY(peer.Received()[0] == (Bytes{0x05, 0x11, 0x01, 0x7E, 0x03}));
        QVERIFY(Messages().empty());

        QTest::mouseClick(Control(tarvu::control::kSubstitution), Qt::LeftButton);
        QTest::mouseClick(Control(tarvu::control::kSend), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(
            TraceIndex(kContinuation + QStringLiteral(" --> 05 11 01 7E 03")) >= 0, kWaitMs);
        const Bytes frame = peer.Received().back();
        QCOMPARE(peer.Received().size(), size_t{2});
        QVERIFY(frame.size() > 5 && frame.front() == 0x7E && frame.back() == 0x7F);
        QVERIFY(TraceIndex(kContinuation + " <-- " + Hex(frame)) >= 0);
        QVERIFY(TraceIndex(Peer(peer.Port()) + " --> " + Hex(frame)) >= 0);
    }

    // Every change of the read-port field rebinds the channel: datagrams to the new port reach
    // the trace and the old port is free again. A port that is taken gives the transport's
    // message box and leaves no channel; the next change opens one again.
    void readPortEditReopensTheChannel() {
        const uint16_t first = FreeUdpPort();
        Store(tarvu::kKeyReadPort, std::to_string(first));
        Start();
        QVERIFY(client_->Logic().ChannelOpen());
        QVERIFY(!CanBind(first));

        const uint16_t second = FreeUdpPort();
        Edit(tarvu::control::kReadPort)->setText(QString::number(second));
        QVERIFY(client_->Logic().ChannelOpen());
        QVERIFY(CanBind(first));
        const uint16_t from = SendFromLoopback(second, {0x01, 0x02});
        QVERIFY(from != 0);
        QTRY_VERIFY_WITH_TIMEOUT(TraceIndex(Peer(from) + QStringLiteral(" --> 01 02")) >= 0,
                                 kWaitMs);
        QVERIFY(Messages().empty());

        tarvu::PlainUdpSocket holder;
        std::string error;
        QVERIFY(holder.Bind(0, error));
        Edit(tarvu::control::kReadPort)->setText(QString::number(holder.LocalPort()));
        QVERIFY(!client_->Logic().ChannelOpen());
        QCOMPARE(Messages().size(), size_t{1});
        QCOMPARE(Messages()[0],
                 std::string("cnsLibnetProvider::cnsLibnetProvider: Проблема с инициализаце(порт "
                             "занят?)"));
        QVERIFY(CanBind(second));

        const uint16_t third = FreeUdpPort();
        Edit(tarvu::control::kReadPort)->setText(QString::number(third));
        QVERIFY(client_->Logic().ChannelOpen());
        QVERIFY(!CanBind(third));
        QCOMPARE(Messages().size(), size_t{1});
    }

    // As an ordinary user, typing a port digit by digit passes ports below 1024 that cannot
    // be bound: no box interrupts the typing. Stopping at such a port shows the transport's
    // box once after about a second, or at once when the field loses the focus.
    void typingAReadPortAsAnOrdinaryUser() {
        tarvu::test::PrivilegedPortsDenied unprivileged;
        if (!unprivileged.Denied()) {
            QSKIP(("ports below 1024 stay bindable: " + unprivileged.Reason()).c_str());
        }
        const std::string kBox =
            "cnsLibnetProvider::cnsLibnetProvider: Проблема с инициализаце(порт занят?)";
        Store(tarvu::kKeyReadPort, std::to_string(FreeUdpPort()));
        Start();
        QVERIFY(client_->Logic().ChannelOpen());
        Dialog().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&Dialog()));
        QLineEdit* readPort = Edit(tarvu::control::kReadPort);

        // A free port whose first four digits name a port that is free too.
        uint16_t port = 0;
        for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
            const uint16_t candidate = FreeUdpPort();
            if (candidate >= 10000 && CanBind(static_cast<uint16_t>(candidate / 10))) {
                port = candidate;
            }
        }
        QVERIFY(port != 0);
        readPort->setFocus();
        readPort->selectAll();
        QTest::keyClick(readPort, Qt::Key_Delete);
        Type(std::to_string(port).c_str());
        QCOMPARE(readPort->text(), QString::number(port));
        QVERIFY(client_->Logic().ChannelOpen());
        QVERIFY(!CanBind(port));
        QTest::qWait(1300);
        QVERIFY2(Messages().empty(), Messages().empty() ? "" : Messages().front().c_str());

        // Stopping at 5: the box comes once the field has been still for about a second.
        readPort->selectAll();
        Type("5");
        QVERIFY(!client_->Logic().ChannelOpen());
        QTest::qWait(300);
        QVERIFY(Messages().empty());
        QTRY_COMPARE_WITH_TIMEOUT(Messages(), std::vector<std::string>{kBox}, 3000);
        QTest::qWait(1300);
        QCOMPARE(Messages().size(), size_t{1});

        // Stopping at 7 and leaving the field: the box comes at once.
        readPort->selectAll();
        Type("7");
        Edit(tarvu::control::kPacket)->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(Messages().size(), size_t{2}, 500);
        QCOMPARE(Messages().back(), kBox);
        QTest::qWait(1300);
        QCOMPARE(Messages().size(), size_t{2});
    }

    // OK, Enter and the close box write the closing records, close the channel and save the
    // fields; Escape closes the channel and saves the fields only.
    void closingWays_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("closingRecords");
        QTest::newRow("OK") << "ok" << true;
        QTest::newRow("Enter in the packet field") << "enter" << true;
        QTest::newRow("close box") << "close" << true;
        QTest::newRow("Escape") << "escape" << false;
    }
    void closingWays() {
        QFETCH(QString, way);
        QFETCH(bool, closingRecords);
        EchoPeer peer;
        const uint16_t readPort = FreeUdpPort();
        StoreLoopback(readPort, peer.Port());
        Store(tarvu::kKeyMacAddress, "old");
        Store(tarvu::kKeyRsaGost, "да", tarvu::kSectionCipher);
        Start();
        QVERIFY(client_->Logic().ChannelOpen());

        const uint16_t newReadPort = FreeUdpPort();
        Edit(tarvu::control::kReadPort)->setText(QString::number(newReadPort));
        Edit(tarvu::control::kSendPort)->setText(QStringLiteral("10555"));
        Dialog().SetIpAddress({10, 1, 2, 3});
        QTest::mouseClick(Control(tarvu::control::kSubstitution), Qt::LeftButton);
        Edit(tarvu::control::kPacket)->setText(QStringLiteral("0a0b"));
        Edit(tarvu::control::kPacket)->setFocus();

        if (way == "ok") {
            QTest::mouseClick(Control(tarvu::control::kOk), Qt::LeftButton);
        } else if (way == "enter") {
            QTest::keyClick(Edit(tarvu::control::kPacket), Qt::Key_Return);
        } else if (way == "close") {
            QVERIFY(Dialog().close());
        } else {
            QTest::keyClick(Edit(tarvu::control::kPacket), Qt::Key_Escape);
        }

        QVERIFY(!Dialog().isVisible());
        QCOMPARE(Dialog().result(), int(closingRecords ? QDialog::Accepted : QDialog::Rejected));
        QVERIFY(!client_->Logic().ChannelOpen());
        QVERIFY(CanBind(newReadPort));
        QCOMPARE(Stored(tarvu::kKeyMacAddress), std::string(closingRecords ? "0a0b" : "old"));
        QCOMPARE(Stored(tarvu::kKeyRsaGost, tarvu::kSectionCipher),
                 std::string(closingRecords ? "нет" : "да"));
        QCOMPARE(Stored(tarvu::kKeyReadPort), std::to_string(newReadPort));
        QCOMPARE(Stored(tarvu::kKeySendPort), std::string("10555"));
        QCOMPARE(Stored(tarvu::kKeyIpAddress), std::string("10.1.2.3"));
        QCOMPARE(Stored(tarvu::kKeySubstitution), std::string("да"));
        // Nothing was sent: the packet keeps its stored text, and no datagram left.
        QCOMPARE(Stored(tarvu::kKeyPacket), std::string("7E 7F"));
        QVERIFY(peer.Received().empty());
    }

    // Hidden in the notification area the channel keeps running: a datagram that arrives
    // meanwhile is in the trace when the window comes back.
    void hiddenDialogKeepsReceiving() {
        const uint16_t readPort = FreeUdpPort();
        Store(tarvu::kKeyReadPort, std::to_string(readPort));
        Start();
        tarvu::TrayIcon& tray = Dialog().Tray();
        tray.SetAvailableOverride(true);
        Dialog().setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!Dialog().isVisible());
        QVERIFY(tray.Icon().isVisible());

        const uint16_t from = SendFromLoopback(readPort, {0x7E, 0x01, 0x02, 0x7F});
        QTRY_VERIFY_WITH_TIMEOUT(TraceIndex(Peer(from) + QStringLiteral(" --> 7E 01 02 7F")) >= 0,
                                 kWaitMs);
        QVERIFY(!Dialog().isVisible());

        tray.OnActivated(QSystemTrayIcon::DoubleClick);
        QVERIFY(Dialog().isVisible());
        QTRY_VERIFY(!tray.Icon().isVisible());
        QVERIFY(client_->Logic().ChannelOpen());
    }

    // Without a system menu, the About item sits in the dialog's context menu and in the
    // notification icon's menu.
    void aboutFromContextMenuAndTrayMenu() {
        Start(tarvu::AddressQuery([](std::vector<tarvu::LocalAddress>&) { return true; }));
        {
            AboutCloser closer;
            QStringList items;
            QTimer::singleShot(50, this, [&items] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (menu == nullptr) {
                    return;
                }
                for (QAction* action : menu->actions()) {
                    items << action->text();
                }
                if (!menu->actions().isEmpty()) {
                    menu->actions().front()->trigger();
                }
                menu->close();
            });
            const QPoint inside(5, Dialog().height() - 5);
            QContextMenuEvent event(QContextMenuEvent::Mouse, inside, Dialog().mapToGlobal(inside));
            QApplication::sendEvent(&Dialog(), &event);
            QCOMPARE(items, QStringList{tarvu::AboutMenuText()});
            QTRY_COMPARE(closer.caption, QStringLiteral("About Tarvu"));
        }
        QCOMPARE(tarvu::AboutMenuText(), QStringLiteral("&About Tarvu..."));

        AboutCloser closer;
        auto* about = Dialog().Tray().Menu().findChild<QAction*>(QStringLiteral("trayAbout"));
        QVERIFY(about != nullptr);
        QCOMPARE(about->text(), tarvu::AboutMenuText());
        about->trigger();
        QTRY_COMPARE(closer.caption, QStringLiteral("About Tarvu"));
    }
};

TARVU_GUI_TEST(ClientAppTest);

#include "client_app_test.moc"
