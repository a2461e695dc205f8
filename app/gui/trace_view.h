#pragma once
// The trace field (control 1042): a read-only, non-wrapping text field that shows the last 200
// trace lines with the newest three at the top. Lines may be posted from any thread; they are
// queued and taken in by the user-interface thread at most once per drain interval, so a flood
// of lines costs one update of the field per interval while every line still passes through
// the 200-line store.

#include "trace/trace_intake.h"

#include <QPlainTextEdit>
#include <QTimer>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tarvu {

class TraceView : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int kDrainIntervalMs = 20;

    explicit TraceView(QWidget* parent = nullptr);

    // Queues one finished line (with its "\n"). Thread-safe; never waits for the
    // user-interface thread.
    void Post(std::string line);
    // Empties the field, the store and the lines still queued: a line posted before the
    // clear never shows after it.
    void ClearTrace();

    const TraceBuffer& Buffer() const { return intake_.Buffer(); }
    // Line ends taken into the buffer since construction: every posted line counts.
    uint64_t LinesTaken() const { return intake_.LinesTaken(); }
    // Number of times the field's text was brought up to date.
    uint64_t UpdateCount() const { return updateCount_; }

private:
    void ScheduleDrain();
    void Drain();
    void ShowLines(uint64_t newLineEnds, bool rewrite);

    TraceIntake intake_;
    QTimer drainTimer_;
    std::size_t shownLines_ = 0;  // complete lines in the field
    uint64_t updateCount_ = 0;
};

// "Courier New" when installed, otherwise the system's fixed-pitch font; 12 pixels high.
QFont TraceFont();

}  // namespace tarvu
