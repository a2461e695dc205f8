// The settings file that two sessions of the Linux dialog leave, byte for byte, against the
// files in tests/data that the Win32 dialog's test holds tarvu.exe to: the same session on
// both systems must leave the same bytes. The ports of a run stand in the files as
// @READ_PORT@ and @SEND_PORT@. With TARVU_WRITE_SESSION_FILES naming a folder, the test also
// writes what it got there, ports marked: that is how the files were made.
//
// First session: a stored read port, the destination 127.0.0.1 and the echo's port set, the
// packet 11 01 00 30 00 sent and echoed, the read port changed, "7Ж" sent and echoed, Escape.
// Second session: a start over the first one's file, then the close box.

#include "app/gui/client_app.h"
#include "app/gui/dialog_controls.h"
#include "app/gui/trace_view.h"
#include "app/settings.h"
#include "gui_test_registry.h"
#include "loopback_peer.h"
#include "platform/cp1251.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

using tarvu::test::EchoPeer;
using tarvu::test::FreeUdpPort;

namespace {

constexpr int kWaitMs = 8000;

std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// A data file with this run's ports in place of the marks.
std::string Expected(const std::string& name, uint16_t readPort, uint16_t sendPort) {
    const std::string bytes = ReadBytes(std::filesystem::path(TARVU_TEST_DATA_DIR) / name);
    return Replace(Replace(bytes, "=@READ_PORT@\r\n", "=" + std::to_string(readPort) + "\r\n"),
                   "=@SEND_PORT@\r\n", "=" + std::to_string(sendPort) + "\r\n");
}

// What a run left, ports marked, into TARVU_WRITE_SESSION_FILES when that is set.
void Keep(const std::string& name, const std::string& bytes, uint16_t readPort, uint16_t sendPort) {
    const char* folder = std::getenv("TARVU_WRITE_SESSION_FILES");
    if (folder == nullptr || *folder == '\0') {
        return;
    }
    WriteBytes(std::filesystem::path(folder) / name,
               Replace(Replace(bytes, "=" + std::to_string(readPort) + "\r\n", "=@READ_PORT@\r\n"),
                       "=" + std::to_string(sendPort) + "\r\n", "=@SEND_PORT@\r\n"));
}

}  // namespace

class SettingsSessionTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> directory_;
    std::unique_ptr<tarvu::Settings> settings_;
    std::unique_ptr<tarvu::ClientApp> client_;

    std::filesystem::path File() const {
        return std::filesystem::path(directory_->filePath("settings.ini").toStdString());
    }
    tarvu::MainDialog& Dialog() { return client_->Dialog(); }
    template <typename T>
    T* Control(int id) {
        return Dialog().findChild<T*>(tarvu::control::Name(id), Qt::FindDirectChildrenOnly);
    }
    bool TraceHas(const QString& ending) {
        const QStringList lines = Control<tarvu::TraceView>(tarvu::control::kTrace)
                                      ->toPlainText()
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& line : lines) {
            if (line.endsWith(ending)) {
                return true;
            }
        }
        return false;
    }
    void Start() {
        settings_ = std::make_unique<tarvu::Settings>(File());
        client_ = std::make_unique<tarvu::ClientApp>(*settings_, "tarvu");
        client_->Start();
    }

private slots:
    void init() {
        directory_ = std::make_unique<QTemporaryDir>();
        QVERIFY(directory_->isValid());
    }
    void cleanup() {
        client_.reset();
        settings_.reset();
        directory_.reset();
    }

    void exchangeReopenCyrillicAndEscape() {
        EchoPeer echo;
        QVERIFY(echo.Bound());
        WriteBytes(File(), tarvu::Utf8ToCp1251("[UDP]\r\nПОРТ IN=" + std::to_string(FreeUdpPort()) +
                                               "\r\n"));
        Start();
        QVERIFY(client_->Logic().ChannelOpen());
        Dialog().SetIpAddress({127, 0, 0, 1});
        Control<QLineEdit>(tarvu::control::kSendPort)->setText(QString::number(echo.Port()));
        Control<QLineEdit>(tarvu::control::kPacket)->setText(QStringLiteral("11 01 00 30 00"));
        Control<QPushButton>(tarvu::control::kSend)->click();
        QTRY_VERIFY_WITH_TIMEOUT(TraceHas(QStringLiteral(" --> 11 01 00 30 00")), kWaitMs);

        const uint16_t readPort = FreeUdpPort();
        Control<QLineEdit>(tarvu::control::kReadPort)->setText(QString::number(readPort));
        QVERIFY(client_->Logic().ChannelOpen());
        Control<QLineEdit>(tarvu::control::kPacket)->setText(QStringLiteral("7Ж"));
        Control<QPushButton>(tarvu::control::kSend)->click();
        QTRY_VERIFY_WITH_TIMEOUT(TraceHas(QStringLiteral(" --> 07")), kWaitMs);

        Dialog().reject();
        client_.reset();
        const std::string bytes = ReadBytes(File());
        Keep("win32_dialog_escape.ini", bytes, readPort, echo.Port());
        QCOMPARE(QString::fromStdString(tarvu::Cp1251ToUtf8(bytes)),
                 QString::fromStdString(tarvu::Cp1251ToUtf8(
                     Expected("win32_dialog_escape.ini", readPort, echo.Port()))));
    }

    void secondStartThenTheCloseBox() {
        const uint16_t readPort = FreeUdpPort();
        const uint16_t sendPort = FreeUdpPort();
        WriteBytes(File(), Expected("win32_dialog_escape.ini", readPort, sendPort));
        Start();
        QCOMPARE(Control<QLineEdit>(tarvu::control::kPacket)->text(), QStringLiteral("7Ж"));
        Dialog().close();
        client_.reset();
        const std::string bytes = ReadBytes(File());
        Keep("win32_dialog_end_session.ini", bytes, readPort, sendPort);
        QCOMPARE(QString::fromStdString(tarvu::Cp1251ToUtf8(bytes)),
                 QString::fromStdString(tarvu::Cp1251ToUtf8(
                     Expected("win32_dialog_end_session.ini", readPort, sendPort))));
    }
};

TARVU_GUI_TEST(SettingsSessionTest);

#include "settings_session_test.moc"
