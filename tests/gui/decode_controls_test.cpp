// Decoding and session figures in the dialog: the trace field's menu item, its stored state,
// the decoded lines it brings and the figures in the trace label's tooltip and their window.

#include "app/gui/decode_controls.h"

#include "app/gui/client_app.h"
#include "app/gui/dialog_controls.h"
#include "app/gui/trace_view.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "gui_test_registry.h"
#include "loopback_peer.h"
#include "platform/cp1251.h"
#include "scratch_client.h"
#include "type_text.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

using tarvu::test::EchoPeer;
using tarvu::test::FreeUdpPort;
using tarvu::test::kWaitMs;
using tarvu::test::SendFromLoopback;

namespace {

const QString kDecoded = QString(31, QLatin1Char(' ')) + QStringLiteral("...= ");

bool NoAddresses(std::vector<tarvu::LocalAddress>& out) {
    out.clear();
    return true;
}

QString Peer(uint16_t port) {
    return tarvu::test::LoopbackPeerText(port);
}

}  // namespace

class DecodeControlsTest : public QObject, private tarvu::test::ScratchClient {
    Q_OBJECT

private:
    QLineEdit* Edit(int id) { return Control<QLineEdit>(id); }
    QAction* MenuAction(QMenu& menu, const char* name) {
        for (QAction* action : menu.actions()) {
            if (action->objectName() == QLatin1String(name)) {
                return action;
            }
        }
        return nullptr;
    }
    std::string FileText() {
        std::ifstream in(settings_->File(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return tarvu::Cp1251ToUtf8(bytes.str());
    }
    void Start(uint16_t readPort, uint16_t sendPort) {
        StoreLoopback(readPort, sendPort);
        client_ = std::make_unique<tarvu::ClientApp>(*settings_, "tarvu",
                                                     tarvu::TransportChannels(), NoAddresses);
        client_->Start();
        QVERIFY(client_->Logic().ChannelOpen());
    }
    void Send(const QString& packet) {
        Edit(tarvu::control::kPacket)->setText(packet);
        QTest::mouseClick(
            Dialog().findChild<QPushButton*>(tarvu::control::Name(tarvu::control::kSend)),
            Qt::LeftButton);
    }
    QStringList TraceLines() {
        return Dialog().Trace().toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    int Find(const QString& text) {
        const QStringList lines = TraceLines();
        for (int i = 0; i < lines.size(); ++i) {
            if (lines[i].contains(text)) {
                return i;
            }
        }
        return -1;
    }

private slots:
    void init() { SetUpClient(); }
    void cleanup() { TearDownClient(); }

    // Off at first start and nothing of ours in the file; the menu item turns decoding on,
    // stores it, and every packet sent and received gets its decoded line (the reply with
    // its time); turned off, the trace is as before and the file says so.
    void menuItemSwitchesDecodingAndStoresIt() {
        EchoPeer peer;
        QVERIFY(peer.Bound());
        Start(FreeUdpPort(), peer.Port());
        const std::string firstStart = FileText();
        QVERIFY(firstStart.find("TARVU") == std::string::npos);

        std::unique_ptr<QMenu> menu = client_->Menu().Build();
        QAction* decode = MenuAction(*menu, "decodeAction");
        QVERIFY(decode != nullptr);
        QCOMPARE(decode->text(), QStringLiteral("Расшифровка пакетов"));
        QVERIFY(decode->isCheckable());
        QVERIFY(!decode->isChecked());
        // The field's own items stay.
        QVERIFY(menu->actions().size() > 3);

        decode->trigger();
        QVERIFY(client_->Logic().Session().Decode());
        QCOMPARE(FileText(), firstStart + "[TARVU]\r\nРАСШИФРОВКА=да\r\n");

        Send(QStringLiteral("11 01 00 30 10 A3 01 00 D1"));
        const QString fields =
            QStringLiteral("dev=01 addr2=00 type=30 qual=10 code=A3(ca_RELOCK) body=01 00 D1");
        QTRY_VERIFY_WITH_TIMEOUT(Find(kDecoded + fields + QStringLiteral(" reply=")) >= 0, kWaitMs);
        const int sent = Find(Peer(peer.Port()) + QStringLiteral(" <-- 11 01"));
        QVERIFY(sent >= 0);
        QCOMPARE(TraceLines()[sent + 1], kDecoded + fields);

        menu = client_->Menu().Build();
        decode = MenuAction(*menu, "decodeAction");
        QVERIFY(decode->isChecked());
        decode->trigger();
        QVERIFY(!client_->Logic().Session().Decode());
        const std::string stored = FileText();
        const std::string off = "[TARVU]\r\nРАСШИФРОВКА=нет\r\n";
        QVERIFY(stored.size() > off.size() &&
                stored.compare(stored.size() - off.size(), off.size(), off) == 0);
        Dialog().Trace().ClearTrace();
        Send(QStringLiteral("11 02 00 30 00"));
        QTRY_VERIFY_WITH_TIMEOUT(Find(QStringLiteral(" --> 11 02 00 30 00")) >= 0, kWaitMs);
        QCOMPARE(Find(kDecoded), -1);
    }

    // A stored "да" starts with decoding on; a right click on the trace field opens the menu
    // with the item checked.
    void storedSwitchIsTakenAtStart() {
        QVERIFY(settings_->Write(tarvu::kSectionTarvu, tarvu::kKeyDecode, "да"));
        Start(FreeUdpPort(), FreeUdpPort());
        QVERIFY(client_->Logic().Session().Decode());

        bool shown = false;
        bool checked = false;
        QTimer closer;
        closer.setInterval(20);
        connect(&closer, &QTimer::timeout, this, [&] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (popup == nullptr) {
                return;
            }
            QAction* decode = MenuAction(*popup, "decodeAction");
            shown = decode != nullptr;
            checked = shown && decode->isChecked();
            popup->close();
            closer.stop();
        });
        closer.start();
        QWidget* viewport = Dialog().Trace().viewport();
        const QPoint at(10, 10);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QCoreApplication::sendEvent(viewport, &event);
        // The menu does not block: it shows once the event loop runs.
        QTRY_VERIFY_WITH_TIMEOUT(shown, kWaitMs);
        QVERIFY(checked);
    }

    // The trace label's tooltip and the figures window follow the traffic; a datagram from
    // a port other than the destination counts as a new sender.
    void figuresFollowTheTraffic() {
        EchoPeer peer;
        QVERIFY(peer.Bound());
        const uint16_t readPort = FreeUdpPort();
        Start(readPort, peer.Port());
        auto* label = Dialog().findChild<QLabel*>(tarvu::control::LabelName(tarvu::control::kTrace),
                                                  Qt::FindDirectChildrenOnly);
        QVERIFY(label != nullptr);
        QVERIFY(label->toolTip().contains(QStringLiteral("received: 0 datagrams, 0 bytes")));

        Send(QStringLiteral("11 01 00 30 00"));
        QTRY_VERIFY_WITH_TIMEOUT(
            label->toolTip().contains(QStringLiteral("received: 1 datagrams, 5 bytes")), kWaitMs);
        QVERIFY(label->toolTip().contains(QStringLiteral("sent: 1 datagrams, 5 bytes")));
        QVERIFY(label->toolTip().contains(QStringLiteral("reply ms: count 1, min ")));
        QVERIFY(label->toolTip().contains(QStringLiteral("senders seen: 1, new: 0")));

        std::unique_ptr<QMenu> menu = client_->Menu().Build();
        MenuAction(*menu, "figuresAction")->trigger();
        QWidget* window = client_->Decode().FiguresWindow();
        QVERIFY(window != nullptr && window->isVisible());
        auto* text = window->findChild<QLabel*>();
        QCOMPARE(text->text(), label->toolTip());

        QVERIFY(SendFromLoopback(readPort, {0x01}) != 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            label->toolTip().contains(QStringLiteral("senders seen: 2, new: 1")), kWaitMs);
        QCOMPARE(text->text(), label->toolTip());
        QVERIFY(label->toolTip().contains(
            QStringLiteral("dropped by the system: 0 datagrams, cut: 0 datagrams")));

        // A datagram longer than the receive buffer makes the trace incomplete: said first.
        QVERIFY(SendFromLoopback(readPort, std::vector<uint8_t>(620, 0x33)) != 0);
        QTRY_VERIFY_WITH_TIMEOUT(label->toolTip().startsWith(
                                     QStringLiteral("the trace is incomplete: 1 datagram cut\n")),
                                 kWaitMs);
        QVERIFY(label->toolTip().contains(
            QStringLiteral("dropped by the system: 0 datagrams, cut: 1 datagrams")));
        QCOMPARE(text->text(), label->toolTip());
        // Tooltips and window only: no control of the dialog moved or appeared.
        QCOMPARE(window->parentWidget(), nullptr);
    }
};

TARVU_GUI_TEST(DecodeControlsTest);

#include "decode_controls_test.moc"
