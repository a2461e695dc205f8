#pragma once
// The application logic's single-shot timer on a QTimer of the user-interface thread.

#include "app/one_shot_timer.h"

#include <QTimer>

namespace tarvu {

class QtOneShotTimer final : public OneShotTimer {
public:
    QtOneShotTimer();
    void Start(std::chrono::milliseconds delay, std::function<void()> fire) override;
    void Stop() override;
    bool Active() const { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> fire_;
};

}  // namespace tarvu
