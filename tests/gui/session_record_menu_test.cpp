// The trace field's menu saves the whole session, beyond the 200 lines the field shows, as a
// log file and as a capture file that tshark reads with the dissector.

#include "app/gui/session_record_menu.h"

#include "app/gui/client_app.h"
#include "app/gui/dialog_controls.h"
#include "app/gui/trace_view.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "gui_test_registry.h"
#include "loopback_peer.h"
#include "platform/message_box.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

using tarvu::test::EchoPeer;
using tarvu::test::FreeUdpPort;
using tarvu::test::SendFromLoopback;

namespace {

constexpr int kWaitMs = 8000;

QStringList FileLines(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return QString::fromStdString(bytes.str()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

class SessionRecordMenuTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> directory_;
    std::unique_ptr<tarvu::Settings> settings_;
    std::unique_ptr<tarvu::ClientApp> client_;
    tarvu::MessageBoxHandler previousHandler_;
    std::vector<std::string> messages_;

    template <typename T = QWidget>
    T* Control(int id) {
        return client_->Dialog().findChild<T*>(tarvu::control::Name(id),
                                               Qt::FindDirectChildrenOnly);
    }
    void Start(uint16_t readPort, uint16_t sendPort, bool frame, const std::string& logFile = {},
               const std::string& pcapFile = {}) {
        QVERIFY(
            settings_->Write(tarvu::kSectionUdp, tarvu::kKeyReadPort, std::to_string(readPort)));
        QVERIFY(
            settings_->Write(tarvu::kSectionUdp, tarvu::kKeySendPort, std::to_string(sendPort)));
        QVERIFY(settings_->Write(tarvu::kSectionUdp, tarvu::kKeyIpAddress, "127.0.0.1"));
        QVERIFY(
            settings_->Write(tarvu::kSectionUdp, tarvu::kKeySubstitution, frame ? "да" : "нет"));
        client_ = std::make_unique<tarvu::ClientApp>(*settings_, "tarvu");
        client_->OpenRecordFiles(logFile, pcapFile);
        client_->Start();
    }
    // Chooses the menu entry `text` with `path` as the file the user picks.
    void Choose(const QString& text, const QString& path) {
        client_->RecordMenu().SetFileChooser(
            [path](const QString&, const QString&) { return path; });
        std::unique_ptr<QMenu> menu(client_->RecordMenu().CreateMenu());
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                chosen = action;
            }
        }
        QVERIFY2(chosen != nullptr, qPrintable(text));
        chosen->trigger();
    }
    QStringList FieldLines() {
        return client_->Dialog().Trace().toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString Path(const char* name) { return directory_->filePath(QString::fromLatin1(name)); }

private slots:
    void init() {
        directory_ = std::make_unique<QTemporaryDir>();
        QVERIFY(directory_->isValid());
        settings_ = std::make_unique<tarvu::Settings>(
            std::filesystem::path(directory_->filePath("settings.ini").toStdString()));
        messages_.clear();
        previousHandler_ = tarvu::SetMessageBoxHandler(
            [this](const std::string& caption, const std::string& text) {
                messages_.push_back(caption + ": " + text);
            });
    }
    void cleanup() {
        client_.reset();
        tarvu::SetMessageBoxHandler(std::move(previousHandler_));
        settings_.reset();
        directory_.reset();
    }

    void savesTheWholeSessionAsLogAndCapture() {
        EchoPeer peer;
        QVERIFY(peer.Bound());
        const uint16_t readPort = FreeUdpPort();
        Start(readPort, peer.Port(), true);
        QVERIFY(client_->Logic().ChannelOpen());

        // More datagrams than the field keeps lines.
        const int flood = 260;
        uint16_t from = 0;
        // Paced, so that no datagram is lost to a full socket buffer; no 7E or 7F in them, so
        // frame coding cuts no frames out of the stream.
        for (int i = 0; i < flood; ++i) {
            from =
                SendFromLoopback(readPort, {0x11, static_cast<uint8_t>(i % 100), 0x00, 0x30, 0x00});
            QTRY_COMPARE_WITH_TIMEOUT(client_->Logic().ReceivedDatagrams(), uint64_t(i + 1),
                                      kWaitMs);
        }
        client_->Dialog().SetPacketText("11 05 00 30 10 A6 C5 22 D1");
        QTest::mouseClick(Control(tarvu::control::kSend), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(client_->Logic().ReceivedDatagrams(), uint64_t{flood + 1},
                                  kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(client_->Store().Size(), size_t{flood + 4}, kWaitMs);

        Choose(tarvu::SessionRecordMenu::SaveLogText(), Path("session.log"));
        Choose(tarvu::SessionRecordMenu::SaveCaptureText(), Path("session.pcap"));
        QVERIFY(messages_.empty());

        const QStringList log = FileLines(Path("session.log"));
        QCOMPARE(log.size(), 1 + flood + 4);
        QVERIFY(log[0].startsWith(QStringLiteral("# ")));
        QVERIFY2(log[0].contains(QStringLiteral("read port %1").arg(readPort)), qPrintable(log[0]));
        QVERIFY(log[1].endsWith(QStringLiteral(" --> 11 00 00 30 00")));
        QVERIFY(log.last().endsWith(QStringLiteral("... --> 11 05 00 30 10 A6 C5 22 D1")));
        const QStringList field =
            client_->Dialog().Trace().toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(field.size() <= 200);

        if (QStringLiteral(TARVU_TSHARK).isEmpty()) {
            QSKIP("tshark is not installed");
        }
        QProcess tshark;
        tshark.start(QStringLiteral(TARVU_TSHARK),
                     {QStringLiteral("-X"), QStringLiteral("lua_script:" TARVU_LUA_DISSECTOR),
                      QStringLiteral("-r"), Path("session.pcap"), QStringLiteral("-d"),
                      QStringLiteral("udp.port==%1,tarvu").arg(readPort), QStringLiteral("-T"),
                      QStringLiteral("fields"), QStringLiteral("-e"), QStringLiteral("udp.srcport"),
                      QStringLiteral("-e"), QStringLiteral("tarvu.device"), QStringLiteral("-e"),
                      QStringLiteral("tarvu.code.name")});
        QVERIFY(tshark.waitForFinished(60000));
        const QStringList rows = QString::fromUtf8(tshark.readAllStandardOutput())
                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), flood + 2);
        QCOMPARE(rows[0].section(QLatin1Char('\t'), 1), QStringLiteral("0\t"));
        QCOMPARE(rows[flood - 1], QStringLiteral("%1\t%2\t").arg(from).arg((flood - 1) % 100));
        QCOMPARE(rows[flood], QStringLiteral("%1\t5\tca_SET_1").arg(readPort));
        QCOMPARE(rows[flood + 1], QStringLiteral("%1\t5\tca_SET_1").arg(peer.Port()));
    }

    void clearTraceStartsTheSavedSessionAfresh() {
        const uint16_t readPort = FreeUdpPort();
        Start(readPort, 9, false);
        QVERIFY(SendFromLoopback(readPort, {0x01}) != 0);
        QTRY_COMPARE_WITH_TIMEOUT(client_->Store().Size(), size_t{1}, kWaitMs);
        QTest::mouseClick(Control(tarvu::control::kClearTrace), Qt::LeftButton);
        QCOMPARE(client_->Store().Size(), size_t{0});
        Choose(tarvu::SessionRecordMenu::SaveLogText(), Path("cleared.log"));
        QCOMPARE(FileLines(Path("cleared.log")).size(), 1);
        // A folder cannot be saved to: a message box, nothing else.
        Choose(tarvu::SessionRecordMenu::SaveCaptureText(), directory_->path());
        QCOMPARE(messages_.size(), size_t{1});
    }

    // tarvu --log --pcap: the files fill while the dialog runs, the log as the field shows it.
    void logAndCaptureFromTheCommandLine() {
        EchoPeer peer;
        QVERIFY(peer.Bound());
        const uint16_t readPort = FreeUdpPort();
        Start(readPort, peer.Port(), false, Path("live.log").toStdString(),
              Path("live.pcap").toStdString());
        client_->Dialog().SetPacketText("11 01 00 30 00");
        QTest::mouseClick(Control(tarvu::control::kSend), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(FileLines(Path("live.log")).size(), 3, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(FieldLines(), FileLines(Path("live.log")).mid(1), kWaitMs);
        client_.reset();
        QVERIFY(messages_.empty());
        // File header, then two packets of 16 + 28 + 5 bytes.
        QCOMPARE(QFileInfo(Path("live.pcap")).size(), qint64{24 + 2 * (16 + 28 + 5)});
    }

    // Named pipes nobody reads: refused at once with a message, never waited on, whether
    // chosen in the menu or given on the command line.
    void namedPipesAreRefusedWithoutBlockingTheWindow() {
        const QString fifo = Path("pipe");
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        const uint16_t readPort = FreeUdpPort();
        Start(readPort, 9, false, fifo.toStdString(), fifo.toStdString());
        QCOMPARE(messages_.size(), size_t{2});
        QVERIFY(client_->Logic().ChannelOpen());
        Choose(tarvu::SessionRecordMenu::SaveLogText(), fifo);
        Choose(tarvu::SessionRecordMenu::SaveCaptureText(), fifo);
        QCOMPARE(messages_.size(), size_t{4});
        for (const std::string& message : messages_) {
            QVERIFY2(QString::fromStdString(message).contains(QStringLiteral("not a regular file")),
                     message.c_str());
        }
    }

    void unopenableLogIsAMessageAndTheDialogRunsWithout() {
        const uint16_t readPort = FreeUdpPort();
        Start(readPort, 9, false, Path("missing/x.log").toStdString());
        QCOMPARE(messages_.size(), size_t{1});
        QVERIFY2(QString::fromStdString(messages_[0]).contains(QStringLiteral("No such file")),
                 messages_[0].c_str());
        QVERIFY(client_->Logic().ChannelOpen());
    }
};

TARVU_GUI_TEST(SessionRecordMenuTest);

#include "session_record_menu_test.moc"
