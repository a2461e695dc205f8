#include "app/gui/session_record_menu.h"

#include "app/session_settings.h"
#include "link/main_window.h"
#include "platform/message_box.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMenu>
#include <QPlainTextEdit>

namespace tarvu {

SessionRecordMenu::SessionRecordMenu(QPlainTextEdit& field, QAbstractButton& clear,
                                     SessionStore& store, const MainWindow& window, QObject* parent)
    : QObject(parent), field_(field), store_(store), window_(window) {
    chooser_ = [this](const QString& caption, const QString& filter) {
        return QFileDialog::getSaveFileName(field_.window(), caption, QString(), filter);
    };
    // "Clear trace" starts the saved session afresh, as it does the field.
    connect(&clear, &QAbstractButton::clicked, this, [this] { store_.Clear(); });
}

QString SessionRecordMenu::SaveLogText() {
    return QStringLiteral("Сохранить протокол…");
}

QString SessionRecordMenu::SaveCaptureText() {
    return QStringLiteral("Сохранить захват (pcap)…");
}

void SessionRecordMenu::AddItems(QMenu& menu) {
    menu.addAction(SaveLogText(), this, [this] { ChooseAndSave(false); })
        ->setObjectName(QStringLiteral("saveLogAction"));
    menu.addAction(SaveCaptureText(), this, [this] { ChooseAndSave(true); })
        ->setObjectName(QStringLiteral("saveCaptureAction"));
}

void SessionRecordMenu::ChooseAndSave(bool capture) {
    const QString path = capture
                             ? chooser_(SaveCaptureText(), QStringLiteral("pcap (*.pcap);;* (*)"))
                             : chooser_(SaveLogText(), QStringLiteral("Log (*.log *.txt);;* (*)"));
    if (path.isEmpty()) {
        return;
    }
    if (capture) {
        SaveCapture(path);
    } else {
        SaveLog(path);
    }
}

bool SessionRecordMenu::SaveLog(const QString& path) {
    std::string error;
    if (store_.SaveLog(path.toStdString(), CurrentSessionSettings(window_, {}), error)) {
        return true;
    }
    ShowMessageBox(SaveLogText().toStdString(), error);
    return false;
}

bool SessionRecordMenu::SaveCapture(const QString& path) {
    std::string error;
    // The socket is bound to every local address, on the read port.
    if (store_.SaveCapture(path.toStdString(), 0, CurrentReadPort(window_), error)) {
        return true;
    }
    ShowMessageBox(SaveCaptureText().toStdString(), error);
    return false;
}

}  // namespace tarvu
