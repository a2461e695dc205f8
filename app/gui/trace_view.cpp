#include "app/gui/trace_view.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
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
    // Only the line that finds the queue empty wakes the user-interface thread; the others
    // ride along with the drain already scheduled.
    if (intake_.Post(std::move(line))) {
        QMetaObject::invokeMethod(this, &TraceView::ScheduleDrain, Qt::QueuedConnection);
    }
}

void TraceView::ScheduleDrain() {
    if (!drainTimer_.isActive()) {
        drainTimer_.start();
    }
}

void TraceView::Drain() {
    const TraceIntake::Taken taken = intake_.Take();
    if (taken.any) {
        ShowLines(taken.lineEnds, taken.rewrite);
    }
}

void TraceView::ShowLines(uint64_t newLineEnds, bool rewrite) {
    const std::vector<std::string> lines = intake_.Buffer().Lines();
    const std::size_t count = lines.size();
    auto joinFrom = [&lines](std::size_t first) {
        QString text;
        for (std::size_t i = first; i < lines.size(); ++i) {
            text += QString::fromStdString(lines[i]);
            text += QLatin1Char('\n');
        }
        return text;
    };

    // The text and the scroll position change with the viewport's updates off. Scrolling a
    // field whose viewport updates lays lines out at once, each a full shaping of a hex dump
    // of up to 1500 characters: 9 of the 11 ms that an update of 500-byte datagram lines took.
    // With updates off only the next paint lays out, and only the lines it shows.
    viewport()->setUpdatesEnabled(false);
    if (rewrite || shownLines_ == 0 || newLineEnds >= count) {
        QString text = joinFrom(0);
        if (intake_.OpenLine() && !text.isEmpty()) {
            text.chop(1);
        }
        setPlainText(text);
    } else {
        // Edit in place rather than rewrite: keeps the horizontal position and selection.
        const std::size_t fresh = static_cast<std::size_t>(newLineEnds);
        const std::size_t dropped = shownLines_ + fresh - count;
        QTextCursor cursor(document());
        cursor.beginEditBlock();
        if (dropped > 0) {
            cursor.movePosition(QTextCursor::Start);
            cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor,
                                static_cast<int>(dropped));
            cursor.removeSelectedText();
        }
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(joinFrom(count - fresh));
        cursor.endEditBlock();
    }
    shownLines_ = intake_.OpenLine() ? count - 1 : count;
    ++updateCount_;
    verticalScrollBar()->setValue(static_cast<int>(intake_.Buffer().FirstVisibleLine()));
    viewport()->setUpdatesEnabled(true);  // schedules the repaint
}

void TraceView::ClearTrace() {
    intake_.Clear();
    shownLines_ = 0;
    clear();
}

}  // namespace tarvu
