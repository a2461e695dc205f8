#pragma once
// SIGINT, SIGTERM and SIGHUP as a request to close the dialog: the signal wakes the event
// loop through a pipe, and the loop emits closeRequested on the user-interface thread, where
// the dialog runs the same closing as its close box (settings saved, channel closed).

#include "platform/signal_wakeup.h"

#include <QObject>

class QSocketNotifier;

namespace tarvu {

class SignalCloser : public QObject {
    Q_OBJECT

public:
    explicit SignalCloser(QObject* parent = nullptr);
    ~SignalCloser() override;

    // False when the signals could not be taken over (they then end the program as before).
    bool Active() const { return wakeup_.Valid(); }

signals:
    void closeRequested();

private:
    void OnReadable();

    SignalWakeup wakeup_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tarvu
