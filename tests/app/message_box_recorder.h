#pragma once
// The message boxes shown while a test runs, as text.

#include "platform/message_box.h"

#include <string>
#include <utility>
#include <vector>

namespace tarvu {

// Collects the message boxes shown while it lives.
class MessageBoxRecorder {
public:
    MessageBoxRecorder()
        : previous_(
              SetMessageBoxHandler([this](const std::string& caption, const std::string& text) {
                  messages.push_back(caption + ": " + text);
              })) {}
    ~MessageBoxRecorder() { SetMessageBoxHandler(std::move(previous_)); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<std::string> messages;

private:
    MessageBoxHandler previous_;
};

}  // namespace tarvu
