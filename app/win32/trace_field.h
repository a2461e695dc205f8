#pragma once
// The trace field (edit 1042): the last 200 trace lines with the newest three at the top.
// Lines come from any thread; they are queued, and the first line that finds the queue empty
// posts one message to the dialog, which takes the queue in on a timer: 20 ms after the first
// line, or longer when the last update of the field took long (four times its duration, at
// most 250 ms), so that the field never takes more than about a fifth of the dialog's time.
// A flood of lines costs one update of the field per interval, while every line passes
// through the 200-line store. The field is edited in place (oldest lines cut, new ones appended),
// and the horizontal position and a selection are kept.

#include "trace/trace_intake.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>
#include <windows.h>

namespace tarvu::win32 {

class TraceField {
public:
    static constexpr UINT kDrainIntervalMs = 20;
    static constexpr UINT kLongestDrainIntervalMs = 250;

    // `message` is posted to `dialog` when lines wait; `timerId` is the dialog's timer that
    // the field uses. Call on the dialog's thread once both windows exist.
    void Attach(HWND dialog, HWND edit, UINT message, UINT_PTR timerId);
    // The dialog is going: nothing is posted any more.
    void Detach();

    // Queues one finished line (with its "\n"). Thread-safe; never waits for the dialog.
    void Post(std::string line);
    // The dialog's thread got `message`: starts the drain timer unless it runs.
    void OnPosted();
    // The dialog's thread got the timer: takes the queued lines into the field.
    void OnTimer();
    // Empties the field, the store and the lines still queued: a line posted before the clear
    // never shows after it.
    void Clear();

    const TraceBuffer& Buffer() const { return intake_.Buffer(); }
    // Line ends taken into the store since start: every posted line counts.
    uint64_t LinesTaken() const { return intake_.LinesTaken(); }
    // Number of times the field's text was brought up to date, and the time that took.
    uint64_t UpdateCount() const { return updateCount_; }
    // The wait before the next update.
    UINT IntervalMs() const { return intervalMs_; }
    uint64_t BusyMicroseconds() const { return busyMicroseconds_; }

private:
    void Drain();
    void ShowLines(uint64_t newLineEnds, bool rewrite);

    std::atomic<HWND> dialog_{nullptr};
    HWND edit_ = nullptr;
    UINT message_ = 0;
    UINT_PTR timerId_ = 0;
    bool timerRunning_ = false;

    TraceIntake intake_;
    std::size_t shownLines_ = 0;  // complete lines in the field
    uint64_t updateCount_ = 0;
    uint64_t busyMicroseconds_ = 0;
    UINT intervalMs_ = kDrainIntervalMs;
};

}  // namespace tarvu::win32
