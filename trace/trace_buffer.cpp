#include "trace/trace_buffer.h"

namespace tarvu {

size_t TraceBuffer::Append(std::string_view piece) {
    std::lock_guard<std::mutex> lock(mutex_);
    AppendLocked(piece);
    return FirstVisibleLocked();
}

size_t TraceBuffer::AppendMany(std::span<const std::string> pieces) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& piece : pieces) {
        AppendLocked(piece);
    }
    return FirstVisibleLocked();
}

void TraceBuffer::Clear() {
    // Under the lock: an append that read the old text must not write it back after the clear.
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
    tail_.clear();
}

void TraceBuffer::AppendLocked(std::string_view piece) {
    // The edit-control rule: more than 200 counted lines cuts the text after its first line end.
    if (LineCountLocked() > kMaxLines) {
        lines_.pop_front();
    }
    size_t start = 0;
    for (size_t end = piece.find('\n'); end != std::string_view::npos;
         end = piece.find('\n', start)) {
        tail_.append(piece.substr(start, end - start));
        lines_.push_back(std::move(tail_));
        tail_.clear();
        start = end + 1;
    }
    tail_.append(piece.substr(start));
    // One cut per append holds the bound only for one-line pieces; a longer piece drops more.
    const size_t partial = tail_.empty() ? 0 : 1;
    while (!lines_.empty() && lines_.size() + partial > kMaxLines) {
        lines_.pop_front();
    }
}

size_t TraceBuffer::FirstVisibleLocked() const {
    // Scrolled to the top, then down by the line count minus 4: the third-last line of text.
    const size_t count = LineCountLocked();
    return count > 4 ? count - 4 : 0;
}

std::string TraceBuffer::TextLocked() const {
    size_t size = tail_.size();
    for (const std::string& line : lines_) {
        size += line.size() + 2;
    }
    std::string text;
    text.reserve(size);
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    text += tail_;
    return text;
}

TraceSnapshot TraceBuffer::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return TraceSnapshot{TextLocked(), LineCountLocked(), FirstVisibleLocked()};
}

std::string TraceBuffer::Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return TextLocked();
}

std::vector<std::string> TraceBuffer::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> lines(lines_.begin(), lines_.end());
    if (!tail_.empty()) {
        lines.push_back(tail_);
    }
    return lines;
}

size_t TraceBuffer::LineCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return LineCountLocked();
}

size_t TraceBuffer::FirstVisibleLine() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return FirstVisibleLocked();
}

}  // namespace tarvu
