#include "app/gui/trace_view.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <utility>

namespace tarvu {

QFont TraceFont() {
    QFont font = QFontDatabase::hasFamily(QStringLiteral("Courier New"))
                     ? QFont(QStringLiteral("Courier New"))
                     : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(12);
    return font;
}

TraceView::TraceView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Lets the field scroll until its last lines stand at the top.
    setCenterOnScroll(true);
    setTabChangesFocus(true);
    setFont(TraceFont());

    drainTimer_.setSingleShot(true);
    drainTimer_.setInterval(kDrainIntervalMs);
    connect(&drainTimer_, &QTimer::timeout, this, &TraceView::Drain);
}

void TraceView::Post(std::string line) {
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        first = pending_.empty();
        pending_.push_back(std::move(line));
    }
    // Only the line that finds the queue empty wakes the user-interface thread; the others
    // ride along with the drain already scheduled.
    if (first) {
        QMetaObject::invokeMethod(this, &TraceView::ScheduleDrain, Qt::QueuedConnection);
    }
}

void TraceView::ScheduleDrain() {
    if (!drainTimer_.isActive()) {
        drainTimer_.start();
    }
}

void TraceView::Drain() {
    std::vector<std::string> batch;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        batch.swap(pending_);
    }
    if (batch.empty()) {
        return;
    }
    for (const std::string& line : batch) {
        lines_.Append(line);
    }
    ShowLines();
}

void TraceView::ShowLines() {
    const std::size_t count = lines_.Count();
    const uint64_t fresh = lines_.AppendedTotal() - shownTotal_;
    auto joinFrom = [this, count](std::size_t first) {
        QString text;
        for (std::size_t i = first; i < count; ++i) {
            text += QString::fromStdString(lines_.Line(i));
            text += QLatin1Char('\n');
        }
        return text;
    };

    if (shownCount_ == 0 || fresh >= count) {
        setPlainText(joinFrom(0));
    } else {
        // Edit in place rather than rewrite: keeps the horizontal position and selection.
        const std::size_t dropped = shownCount_ + static_cast<std::size_t>(fresh) - count;
        QTextCursor cursor(document());
        cursor.beginEditBlock();
        if (dropped > 0) {
            cursor.movePosition(QTextCursor::Start);
            cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor,
                                static_cast<int>(dropped));
            cursor.removeSelectedText();
        }
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(joinFrom(count - static_cast<std::size_t>(fresh)));
        cursor.endEditBlock();
    }
    shownTotal_ = lines_.AppendedTotal();
    shownCount_ = count;
    ++updateCount_;
    verticalScrollBar()->setValue(static_cast<int>(lines_.FirstVisibleLine()));
}

void TraceView::ClearTrace() {
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        pending_.clear();
    }
    lines_.Clear();
    shownTotal_ = lines_.AppendedTotal();
    shownCount_ = 0;
    clear();
}

}  // namespace tarvu
