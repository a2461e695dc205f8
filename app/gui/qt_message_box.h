#pragma once
// Message boxes of the engine and the application shown as modal Qt message boxes.

class QWidget;

namespace tarvu {

// Installs the handler; boxes open over `parent` (may be null). A message from another
// thread is shown by the user-interface thread without making the caller wait, since the
// worker must never wait for the user-interface thread.
void InstallQtMessageBoxHandler(QWidget* parent);

}  // namespace tarvu
