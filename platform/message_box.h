#pragma once
// Modal message boxes, provided by the front end: a Qt message box in the dialog,
// a "caption: text" line on standard error in the command line.

#include <functional>
#include <string>

namespace tarvu {

using MessageBoxHandler = std::function<void(const std::string& caption, const std::string& text)>;

// Shows a message with an OK button; returns when the user has dismissed it.
void ShowMessageBox(const std::string& caption, const std::string& text);

// Installs the front end's handler; returns the previous one. Without a handler the
// message goes to standard error as "caption: text".
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace tarvu
