#pragma once
// A OneShotTimer that fires only when the test says so.

#include "app/one_shot_timer.h"

#include <utility>

namespace tarvu::testing {

class FakeOneShotTimer : public OneShotTimer {
public:
    void Start(std::chrono::milliseconds delay, std::function<void()> fire) override {
        lastDelay = delay;
        fire_ = std::move(fire);
        ++starts;
    }
    void Stop() override { fire_ = nullptr; }
    bool Active() const { return static_cast<bool>(fire_); }
    // The time has passed: the pending function runs, once.
    void Fire() {
        std::function<void()> fire = std::move(fire_);
        fire_ = nullptr;
        if (fire) {
            fire();
        }
    }

    std::chrono::milliseconds lastDelay{0};
    int starts = 0;

private:
    std::function<void()> fire_;
};

}  // namespace tarvu::testing
