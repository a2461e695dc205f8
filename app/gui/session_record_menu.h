#pragma once
// The trace field's context menu with the session record: the standard edit actions, then
// "Сохранить протокол…" (the whole session as a log file) and "Сохранить захват (pcap)…"
// (the whole session as a capture file). The whole session is the store's, kept since the
// start or the last "Clear trace".

#include "record/session_store.h"

#include <QObject>
#include <QString>

#include <functional>

class QAbstractButton;
class QAction;
class QMenu;
class QPlainTextEdit;

namespace tarvu {

class MainWindow;

class SessionRecordMenu : public QObject {
    Q_OBJECT

public:
    // Asks for the file to save to; an empty result cancels. The default shows a file dialog.
    using FileChooser = std::function<QString(const QString& caption, const QString& filter)>;

    // `field`, `clear`, `store` and `window` outlive this object.
    SessionRecordMenu(QPlainTextEdit& field, QAbstractButton& clear, SessionStore& store,
                      const MainWindow& window, QObject* parent = nullptr);

    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

    // The field's menu with the two save actions added; the caller owns it.
    QMenu* CreateMenu();

    // What the two actions do once a file is chosen. False, and a message box shown, when
    // the file could not be written.
    bool SaveLog(const QString& path);
    bool SaveCapture(const QString& path);

    static QString SaveLogText();
    static QString SaveCaptureText();

private:
    void ShowMenu(const QPoint& position);
    void ChooseAndSave(bool capture);

    QPlainTextEdit& field_;
    SessionStore& store_;
    const MainWindow& window_;
    FileChooser chooser_;
};

}  // namespace tarvu
