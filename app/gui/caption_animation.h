#pragma once
// The caption animation between the window and its icon in the notification area: an outline
// that flies from one rectangle to the other. Skipped when the desktop has its animations off
// or TARVU_NO_ANIMATION=1 is set.

#include <QRect>

#include <functional>

namespace tarvu {

bool AnimationsEnabled();

// Runs the animation when enabled and calls `done` when it ends (at once when disabled).
void RunCaptionAnimation(const QRect& from, const QRect& to, std::function<void()> done);

// Where the window shrinks to when the notification area does not tell where its icon is:
// 150 x 30 pixels at the bottom right of the available screen area.
QRect TrayFallbackRect(const QRect& available);

}  // namespace tarvu
