#include "app/gui/qt_one_shot_timer.h"

#include <utility>

namespace tarvu {

QtOneShotTimer::QtOneShotTimer() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        // Moved out first: the call may start the timer again with a new function.
        std::function<void()> fire = std::move(fire_);
        fire_ = nullptr;
        if (fire) {
            fire();
        }
    });
}

void QtOneShotTimer::Start(std::chrono::milliseconds delay, std::function<void()> fire) {
    fire_ = std::move(fire);
    timer_.start(delay);
}

void QtOneShotTimer::Stop() {
    timer_.stop();
    fire_ = nullptr;
}

}  // namespace tarvu
