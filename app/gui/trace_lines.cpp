#include "app/gui/trace_lines.h"

namespace tarvu {

void TraceLines::Append(std::string_view text) {
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            AppendLine(text);
            return;
        }
        AppendLine(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
}

void TraceLines::AppendLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (lines_.size() >= kMaxLines) {
        lines_.pop_front();
    }
    lines_.emplace_back(line);
    ++appendedTotal_;
}

void TraceLines::Clear() {
    lines_.clear();
}

std::size_t TraceLines::FirstVisibleLine() const {
    return lines_.size() > 3 ? lines_.size() - 3 : 0;
}

}  // namespace tarvu
