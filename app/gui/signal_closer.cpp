#include "app/gui/signal_closer.h"

#include <QSocketNotifier>

namespace tarvu {

SignalCloser::SignalCloser(QObject* parent) : QObject(parent) {
    if (!wakeup_.Valid()) {
        return;
    }
    notifier_ = new QSocketNotifier(wakeup_.Descriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalCloser::OnReadable);
}

// The notifier goes before the pipe it watches (its parent deletes it later otherwise).
SignalCloser::~SignalCloser() {
    delete notifier_;
}

void SignalCloser::OnReadable() {
    if (wakeup_.Take() != 0) {
        emit closeRequested();
    }
}

}  // namespace tarvu
