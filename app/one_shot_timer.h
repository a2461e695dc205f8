#pragma once
// A single-shot timer that the front end provides on its user-interface thread (a QTimer in
// the dialog, a fake in tests): the application logic stays free of any toolkit.

#include <chrono>
#include <functional>

namespace tarvu {

class OneShotTimer {
public:
    virtual ~OneShotTimer() = default;
    // Calls `fire` once on the user-interface thread after `delay`, unless stopped or started
    // again first (a new start replaces the pending one).
    virtual void Start(std::chrono::milliseconds delay, std::function<void()> fire) = 0;
    virtual void Stop() = 0;
};

}  // namespace tarvu
