#pragma once
// The application's message boxes as Win32 message boxes over the dialog, captioned with the
// caption the caller gives (the program's title). A box raised on another thread is posted
// to the dialog's thread and its caller does not wait.

namespace tarvu::win32 {

class MainDialog;

// `dialog` outlives the handler (remove it with SetMessageBoxHandler({}) before it goes).
void InstallMessageBoxHandler(MainDialog& dialog);

}  // namespace tarvu::win32
