#pragma once
// The trace field's text as lines: at most 200 of them, the oldest going first, and the line
// that the field shows at the top so that the newest three lines stand at the top of the
// visible area. Used on the user-interface thread only; lines from other threads are queued
// by TraceView before they get here.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace tarvu {

class TraceLines {
public:
    static constexpr std::size_t kMaxLines = 200;

    // Appends finished text; every "\n" ends a line, and a last piece without one counts as a
    // whole line too. Each new line beyond 200 pushes out the oldest.
    void Append(std::string_view text);
    void Clear();

    std::size_t Count() const { return lines_.size(); }
    const std::string& Line(std::size_t index) const { return lines_[index]; }
    // Index of the line shown at the top: the third-last line, or 0 with fewer lines.
    std::size_t FirstVisibleLine() const;
    // Lines appended since construction, clears included: tells a view how many are new.
    uint64_t AppendedTotal() const { return appendedTotal_; }

private:
    void AppendLine(std::string_view line);

    std::deque<std::string> lines_;
    uint64_t appendedTotal_ = 0;
};

}  // namespace tarvu
