#include "app/gui/main_dialog.h"

#include "app/gui/about_dialog.h"
#include "app/gui/dialog_controls.h"
#include "app/gui/dialog_units.h"
#include "app/gui/ip_address_edit.h"
#include "app/gui/trace_view.h"
#include "app/gui/tray_icon.h"
#include "gui_test_registry.h"
#include "tarvu_build_info.h"
#include "type_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <string>
#include <thread>
#include <vector>

using Octets = std::array<uint8_t, 4>;
using tarvu::test::Type;

namespace {

template <typename Fill>
tarvu::DialogHooks Hooks(Fill fill) {
    tarvu::DialogHooks hooks;
    fill(hooks);
    return hooks;
}

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<tarvu::MainDialog> dialog_;

    template <typename T = QWidget>
    T* Control(const QString& name) {
        return dialog_->findChild<T*>(name, Qt::FindDirectChildrenOnly);
    }
    template <typename T = QWidget>
    T* Control(int id) {
        return Control<T>(tarvu::control::Name(id));
    }

    void ShowDialog() {
        dialog_->show();
        dialog_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
    }

    // Name of the control that has the focus (the IP-address control for its fields).
    static QString FocusedControl() {
        QWidget* focus = QApplication::focusWidget();
        if (focus == nullptr) {
            return QStringLiteral("<none>");
        }
        if (qobject_cast<tarvu::OctetEdit*>(focus) != nullptr) {
            return focus->parentWidget()->objectName();
        }
        return focus->objectName();
    }

private slots:
    void init() { dialog_ = std::make_unique<tarvu::MainDialog>(); }
    void cleanup() { dialog_.reset(); }

    // Every control by its name, with its text; the hidden ones present but hidden.
    void controlsTextsAndVisibility() {
        QCOMPARE(dialog_->windowTitle(),
                 QStringLiteral("Tarvu (Клиент для проверки подключения по GPRS)"));
        const std::vector<std::pair<QString, QString>> texts = {
            {"label1035", "Наш IP :"},
            {"label1042", "Протокол <-->:"},
            {"label1040", "Посылаемый пакет:"},
            {"label2045", "IP адрес назначения :"},
            {"label1047", "Порт передачи :"},
            {"label1046", "Порт чтения :"},
            {"note1046", "(...пакеты посылаются с этого порта)"},
            {"1", "OK"},
            {"1041", "Send!"},
            {"1044", "Clear trace"},
            {"1048", "Выставить порт"},
            {"1045", "Заменять запрещённые символы (7E 7F 7D ...)"},
            {"1038", "0"},
        };
        for (const auto& [name, text] : texts) {
            QWidget* widget = Control(name);
            QVERIFY2(widget != nullptr, qPrintable(name));
            QCOMPARE(widget->property("text").toString(), text);
        }
        QCOMPARE(Control<QGroupBox>("groupSend")->title(), QStringLiteral("Передача :"));
        QVERIFY(Control<QPushButton>(1)->isDefault());
        QVERIFY(Control<tarvu::TraceView>(1042) != nullptr);
        QVERIFY(Control<tarvu::IpAddressEdit>(2045) != nullptr);

        ShowDialog();
        for (int id : {1073, 1074, 1038, 1039, 1048}) {
            QWidget* widget = Control(id);
            QVERIFY2(widget != nullptr, qPrintable(QString::number(id)));
            QVERIFY(!widget->isVisible());
            QVERIFY(!widget->isEnabled());
        }
        for (int id : {1, 1035, 1040, 1041, 1042, 2045, 1044, 1045, 1046, 1047}) {
            QVERIFY2(Control(id)->isVisible(), qPrintable(QString::number(id)));
        }
        auto* combo = Control<QComboBox>(1039);
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(0), QString());
        QCOMPARE(combo->itemText(1), QStringLiteral("АВТО! (С протоколом КОНВЕРТОРА/КЕБ)"));
        QCOMPARE(combo->currentIndex(), 0);
        combo->setCurrentIndex(1);
        Control<QLineEdit>(1038)->setText("x");
        dialog_->ResetHiddenControls();
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(Control<QLineEdit>(1038)->text(), QStringLiteral("0"));
    }

    void tabOrderFollowsTable() {
        ShowDialog();
        Control(1)->setFocus();
        QStringList visited{FocusedControl()};
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << FocusedControl();
        }
        QCOMPARE(visited, (QStringList{"1", "1035", "1040", "1041", "1042", "2045", "1044", "1045",
                                       "1046", "1047", "1"}));
    }

    // Opens at the dialog-unit size; on growing, only the trace field takes the room and the
    // bottom-row controls follow the bottom-right corner.
    void opensAtTableSizeAndTraceTakesNewRoom() {
        // Windows' rounding: 1.5 and 6.5 round up; edges convert separately.
        const tarvu::DialogUnits fixed(6, 13);
        QCOMPARE(fixed.X(1), 2);
        QCOMPARE(fixed.Y(4), 7);
        QCOMPARE(fixed.ToPixels(QRect(634, 381, 50, 14)), QRect(951, 619, 75, 23));

        const tarvu::DialogUnits units = tarvu::DialogUnits::FromFont(dialog_->font());
        ShowDialog();
        QCOMPARE(dialog_->size(), units.ToPixels(QSize(688, 399)));
        QCOMPARE(dialog_->minimumSize(), dialog_->size());
        const QRect trace = units.ToPixels(QRect(3, 113, 674, 262));
        const QRect packet = units.ToPixels(QRect(224, 49, 387, 14));
        const QRect ok = units.ToPixels(QRect(634, 381, 50, 14));
        QCOMPARE(Control(1042)->geometry(), trace);
        QCOMPARE(Control(1040)->geometry(), packet);
        QCOMPARE(Control(1)->geometry(), ok);

        dialog_->resize(dialog_->size() + QSize(120, 80));
        QTRY_COMPARE(Control(1042)->geometry(), trace.adjusted(0, 0, 120, 80));
        QCOMPARE(Control(1040)->geometry(), packet);
        QCOMPARE(Control(1041)->geometry(), units.ToPixels(QRect(616, 51, 57, 13)));
        QCOMPARE(Control(1)->geometry(), ok.translated(120, 80));
    }

    void enterAnywhereIsOk() {
        int ok = 0;
        int send = 0;
        dialog_->SetHooks(Hooks([&](tarvu::DialogHooks& h) {
            h.send = [&] { ++send; };
            h.ok = [&] { ++ok; };
        }));
        ShowDialog();
        Control(1040)->setFocus();
        QTest::keyClicks(Control(1040), "7E 7F");
        QTest::keyClick(Control(1040), Qt::Key_Return);
        QCOMPARE(ok, 1);
        QCOMPARE(send, 0);
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));

        // In the trace field too.
        init();
        ok = 0;
        dialog_->SetHooks(Hooks([&](tarvu::DialogHooks& h) { h.ok = [&] { ++ok; }; }));
        ShowDialog();
        Control(1042)->setFocus();
        QTest::keyClick(Control(1042), Qt::Key_Enter);
        QCOMPARE(ok, 1);
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));
    }

    void sendEscapeAndCloseCallTheirHooks() {
        int send = 0;
        int ok = 0;
        int escape = 0;
        dialog_->SetHooks(Hooks([&](tarvu::DialogHooks& h) {
            h.send = [&] { ++send; };
            h.ok = [&] { ++ok; };
            h.escape = [&] { ++escape; };
        }));
        ShowDialog();
        QTest::mouseClick(Control(1041), Qt::LeftButton);
        QCOMPARE(send, 1);
        QVERIFY(dialog_->isVisible());

        Control(1046)->setFocus();
        QTest::keyClick(Control(1046), Qt::Key_Escape);
        QCOMPARE(escape, 1);
        QCOMPARE(ok, 0);
        QCOMPARE(dialog_->result(), int(QDialog::Rejected));
        QVERIFY(!dialog_->isVisible());

        // The close box runs the OK steps when no close hook of its own is set.
        init();
        escape = 0;
        dialog_->SetHooks(Hooks([&](tarvu::DialogHooks& h) {
            h.ok = [&] { ++ok; };
            h.escape = [&] { ++escape; };
        }));
        ShowDialog();
        QVERIFY(dialog_->close());
        QCOMPARE(ok, 1);
        QCOMPARE(escape, 0);
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));
    }

    // Every change of the four controls the engine reads is visible in the ControlState at
    // once; the read-port hook sees each keystroke with the new text already published.
    void changesArePublishedImmediately() {
        std::vector<std::string> reopened;
        const tarvu::ControlState& controls = dialog_->Controls();
        dialog_->SetHooks(Hooks([&](tarvu::DialogHooks& h) {
            h.readPortChanged = [&](const std::string& text) {
                QCOMPARE(controls.ReadPortText(), text);
                reopened.push_back(text);
            };
        }));
        ShowDialog();
        Control(1046)->setFocus();
        QTest::keyClicks(Control(1046), "1234");
        QVERIFY(reopened == (std::vector<std::string>{"1", "12", "123", "1234"}));
        Control<QLineEdit>(1046)->selectAll();
        QTest::keyClick(Control(1046), Qt::Key_Delete);
        QCOMPARE(reopened.back(), std::string());
        QCOMPARE(controls.ReadPortText(), std::string());

        QTest::keyClicks(Control(1047), "80");
        QCOMPARE(controls.SendPortText(), std::string("80"));

        QVERIFY(!controls.SubstitutionChecked());
        QTest::mouseClick(Control(1045), Qt::LeftButton);
        QVERIFY(controls.SubstitutionChecked());

        Control(2045)->setFocus();
        Type("10.0.0.1");
        QVERIFY(controls.ReadIpAddress() == (Octets{10, 0, 0, 1}));

        // Values set by the application logic are published too, an address in one piece.
        QSignalSpy addressChanges(Control<tarvu::IpAddressEdit>(2045),
                                  &tarvu::IpAddressEdit::addressChanged);
        dialog_->SetIpAddress({255, 255, 255, 255});
        QCOMPARE(addressChanges.count(), 1);
        QVERIFY(controls.ReadIpAddress() == (Octets{255, 255, 255, 255}));
        dialog_->ClearIpAddress();
        QVERIFY(controls.ReadIpAddress() == (Octets{0, 0, 0, 0}));
        dialog_->SetSendPortText("10001");
        QCOMPARE(controls.SendPortText(), std::string("10001"));
        dialog_->SetReadPortText("10002");
        QCOMPARE(reopened.back(), std::string("10002"));
        dialog_->SetSubstitutionChecked(false);
        QVERIFY(!controls.SubstitutionChecked());
    }

    void addressListStatusAndTrace() {
        dialog_->AddAddressLine("192.168.001.005   255.255.255.000");
        dialog_->AddAddressLine("010.000.000.017   255.000.000.000");
        QCOMPARE(Control<QListWidget>(1035)->item(1)->text(),
                 QStringLiteral("010.000.000.017   255.000.000.000"));
        dialog_->ClearAddressList();
        QCOMPARE(Control<QListWidget>(1035)->count(), 0);
        dialog_->SetStatusText(0, "первый");
        dialog_->SetStatusText(1, "второй");
        dialog_->SetStatusText(2, "никуда");
        QCOMPARE(Control<QLineEdit>(1073)->text(), QStringLiteral("первый"));
        QCOMPARE(Control<QLineEdit>(1074)->text(), QStringLiteral("второй"));

        dialog_->AppendTraceLine("09:05:03.007 010.000.000.001:10001 --> 7E 01 02 7F\n");
        QTRY_COMPARE(Control<tarvu::TraceView>(1042)->toPlainText(),
                     QStringLiteral("09:05:03.007 010.000.000.001:10001 --> 7E 01 02 7F\n"));
        QTest::mouseClick(Control(1044), Qt::LeftButton);
        QCOMPARE(Control<tarvu::TraceView>(1042)->toPlainText(), QString());
    }

    // The engine may set a status text from its worker thread; the edit changes on the
    // dialog's own thread, never from the caller's.
    void statusTextFromAnotherThreadIsSetOnTheDialogsThread() {
        auto* status = Control<QLineEdit>(1074);
        QThread* changedOn = nullptr;
        connect(
            status, &QLineEdit::textChanged, status,
            [&changedOn] { changedOn = QThread::currentThread(); }, Qt::DirectConnection);
        std::thread worker([this] { dialog_->SetStatusText(1, "из потока"); });
        worker.join();
        QTRY_COMPARE(status->text(), QStringLiteral("из потока"));
        QCOMPARE(changedOn, dialog_->thread());
    }

    // Without a notification area the window minimises normally instead of vanishing.
    void minimiseWithoutTrayMinimisesNormally() {
        dialog_->Tray().SetAvailableOverride(false);
        ShowDialog();
        dialog_->setWindowState(Qt::WindowMinimized);
        QTest::qWait(50);
        QVERIFY(dialog_->isVisible());
        QVERIFY(dialog_->windowState() & Qt::WindowMinimized);
        QVERIFY(!dialog_->Tray().Icon().isVisible());
    }

    void minimiseHidesInTrayAndDoubleClickRestores() {
        tarvu::TrayIcon& tray = dialog_->Tray();
        tray.SetAvailableOverride(true);
        ShowDialog();
        dialog_->setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!dialog_->isVisible());
        QVERIFY(!(dialog_->windowState() & Qt::WindowMinimized));
        QVERIFY(tray.Icon().isVisible());
        QCOMPARE(tray.Icon().toolTip(), QStringLiteral("Tarvu(Дважды клик мышой дабы показать!)"));

        tray.OnActivated(QSystemTrayIcon::Trigger);  // a single click
        QVERIFY(!dialog_->isVisible());
        QVERIFY(tray.Icon().isVisible());

        tray.OnActivated(QSystemTrayIcon::DoubleClick);
        QVERIFY(dialog_->isVisible());
        QVERIFY(tray.Controller().RestorePending());
        // No button is held here, so the watched release comes at once and takes the icon.
        QTRY_VERIFY(!tray.Icon().isVisible());
        QVERIFY(!tray.Controller().RestorePending());
        QVERIFY(dialog_->isVisible());
    }

    void aboutBox() {
        tarvu::AboutDialog about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Tarvu"));
        // The version of the build, three numbers.
        QCOMPARE(about.findChild<QLabel*>("aboutVersion")->text(),
                 QStringLiteral("Tarvu Version " TARVU_VERSION));
        QVERIFY(QRegularExpression(QStringLiteral("^Tarvu Version \\d+\\.\\d+\\.\\d+$"))
                    .match(about.findChild<QLabel*>("aboutVersion")->text())
                    .hasMatch());
        QVERIFY(!about.findChild<QLabel*>("aboutIcon")->pixmap().isNull());
        // The copyright and licence lines, whole inside the box.
        QVERIFY(about.findChild<QLabel*>("aboutLicence")->text().contains(QStringLiteral("MIT")));
        for (const char* name : {"aboutCopyright", "aboutLicence"}) {
            const auto* line = about.findChild<QLabel*>(name);
            QVERIFY2(line != nullptr, name);
            QVERIFY2(line->fontMetrics().horizontalAdvance(line->text()) <= line->width(), name);
            QVERIFY2(about.rect().contains(line->geometry()), name);
        }
        QCOMPARE(about.size(), tarvu::DialogUnits::FromFont(about.font()).ToPixels(QSize(235, 55)));
    }
};

TARVU_GUI_TEST(MainDialogTest);

#include "main_dialog_test.moc"
