#pragma once
// The session record's items of the trace field's menu (TraceMenu): "Сохранить протокол…"
// (the whole session as a log file) and "Сохранить захват (pcap)…" (the whole session as a
// capture file). The whole session is the store's, kept since the start or the last
// "Clear trace".

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

    // `field` (the parent of the file dialogs), `clear`, `store` and `window` outlive this
    // object.
    SessionRecordMenu(QPlainTextEdit& field, QAbstractButton& clear, SessionStore& store,
                      const MainWindow& window, QObject* parent = nullptr);

    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

    // Adds the two save actions to the trace field's menu.
    void AddItems(QMenu& menu);

    // What the two actions do once a file is chosen. False, and a message box shown, when
    // the file could not be written.
    bool SaveLog(const QString& path);
    bool SaveCapture(const QString& path);

    static QString SaveLogText();
    static QString SaveCaptureText();

private:
    void ChooseAndSave(bool capture);

    QPlainTextEdit& field_;
    SessionStore& store_;
    const MainWindow& window_;
    FileChooser chooser_;
};

}  // namespace tarvu
