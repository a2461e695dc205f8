#pragma once
// The trace field's text without any toolkit: at most 200 lines, "\r\n" line ends, and the
// scroll position that keeps the newest three lines at the top of the visible area.
//
// Line counting follows a multi-line edit control without word wrap: the line count is the
// number of line ends plus one (the empty line after the last line end counts).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvu {

struct TraceSnapshot {
    std::string text;         // "\r\n" line ends
    size_t lineCount = 1;     // line ends + 1
    size_t firstVisible = 0;  // first line shown at the top of the field
};

class TraceBuffer {
public:
    static constexpr size_t kMaxLines = 200;

    // Appends one piece of text ("\n" line ends). When the field already counts more than 200
    // lines the oldest line goes first; a piece with several line ends also pushes out as many
    // old lines as it takes to stay within 200 lines of text. Returns the first visible line.
    size_t Append(std::string_view piece);

    // The same end result as appending the pieces one by one, under one lock.
    size_t AppendMany(std::span<const std::string> pieces);

    void Clear();

    TraceSnapshot Snapshot() const;
    std::string Text() const;
    // Lines of text without their line ends (a last line without a line end included).
    std::vector<std::string> Lines() const;
    size_t LineCount() const;
    size_t FirstVisibleLine() const;

private:
    void AppendLocked(std::string_view piece);
    size_t LineCountLocked() const { return lines_.size() + 1; }
    size_t FirstVisibleLocked() const;
    std::string TextLocked() const;

    mutable std::mutex mutex_;
    std::deque<std::string> lines_;  // complete lines, oldest first, without line ends
    std::string tail_;               // text after the last line end
};

}  // namespace tarvu
