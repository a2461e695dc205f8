#include "app/win32/trace_field.h"

#include "platform/win32/system_text.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace tarvu::win32 {
namespace {

std::wstring JoinLines(const std::vector<std::string>& lines, std::size_t first, bool lastOpen) {
    std::string text;
    for (std::size_t i = first; i < lines.size(); ++i) {
        text += lines[i];
        if (!(lastOpen && i + 1 == lines.size())) {
            text += "\r\n";
        }
    }
    return Wide(text);
}

// Left edge of the text's first character in the field: 0 when the field is scrolled fully
// left, negative by the pixels it is scrolled right. Nothing for an empty field.
bool FirstCharacterX(HWND edit, int& x) {
    if (::GetWindowTextLengthW(edit) == 0) {
        return false;
    }
    const LRESULT position = ::SendMessageW(edit, EM_POSFROMCHAR, 0, 0);
    if (position == -1) {
        return false;
    }
    x = static_cast<short>(LOWORD(position));
    return true;
}

// Width of one character of the field's fixed-pitch font, from the first line's text.
int CharacterWidth(HWND edit) {
    const LRESULT first = ::SendMessageW(edit, EM_POSFROMCHAR, 0, 0);
    const LRESULT second = ::SendMessageW(edit, EM_POSFROMCHAR, 1, 0);
    if (first == -1 || second == -1) {
        return 0;
    }
    return static_cast<short>(LOWORD(second)) - static_cast<short>(LOWORD(first));
}

}  // namespace

void TraceField::Attach(HWND dialog, HWND edit, UINT message, UINT_PTR timerId) {
    edit_ = edit;
    message_ = message;
    timerId_ = timerId;
    // The field holds 200 lines of any length; the default limit is 32767 characters.
    ::SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);
    dialog_.store(dialog);
}

void TraceField::Detach() {
    dialog_.store(nullptr);
    edit_ = nullptr;
    timerRunning_ = false;
}

void TraceField::Post(std::string line) {
    // Only the line that finds the queue empty wakes the dialog; the others ride along.
    if (intake_.Post(std::move(line))) {
        if (HWND dialog = dialog_.load()) {
            ::PostMessageW(dialog, message_, 0, 0);
        }
    }
}

void TraceField::OnPosted() {
    HWND dialog = dialog_.load();
    if (timerRunning_ || dialog == nullptr) {
        return;
    }
    if (::SetTimer(dialog, timerId_, intervalMs_, nullptr) != 0) {
        timerRunning_ = true;
    } else {
        Drain();  // no timer to be had: take the lines in now
    }
}

void TraceField::OnTimer() {
    if (HWND dialog = dialog_.load()) {
        ::KillTimer(dialog, timerId_);
    }
    timerRunning_ = false;
    Drain();
}

void TraceField::Drain() {
    const TraceIntake::Taken taken = intake_.Take();
    if (taken.any) {
        ShowLines(taken.lineEnds, taken.rewrite);
    }
}

void TraceField::ShowLines(uint64_t newLineEnds, bool rewrite) {
    if (edit_ == nullptr) {
        return;
    }
    const auto began = std::chrono::steady_clock::now();
    const std::vector<std::string> lines = intake_.Buffer().Lines();
    const std::size_t count = lines.size();

    // The field changes without painting; it repaints once at the end.
    ::SendMessageW(edit_, WM_SETREDRAW, FALSE, 0);
    int xBefore = 0;
    const bool hadText = FirstCharacterX(edit_, xBefore);
    DWORD selStart = 0;
    DWORD selEnd = 0;
    ::SendMessageW(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                   reinterpret_cast<LPARAM>(&selEnd));
    DWORD removed = 0;

    if (rewrite || shownLines_ == 0 || newLineEnds >= count) {
        ::SetWindowTextW(edit_, JoinLines(lines, 0, intake_.OpenLine()).c_str());
        removed = selEnd;  // the old selection does not survive a rewrite
    } else {
        // Edit in place rather than rewrite: cut the oldest lines, append the new ones.
        const std::size_t fresh = static_cast<std::size_t>(newLineEnds);
        const std::size_t dropped = shownLines_ + fresh - count;
        if (dropped > 0) {
            const LRESULT cut =
                ::SendMessageW(edit_, EM_LINEINDEX, static_cast<WPARAM>(dropped), 0);
            if (cut > 0) {
                removed = static_cast<DWORD>(cut);
                ::SendMessageW(edit_, EM_SETSEL, 0, cut);
                ::SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
            }
        }
        const int length = ::GetWindowTextLengthW(edit_);
        ::SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(length), length);
        const std::wstring added = JoinLines(lines, count - fresh, intake_.OpenLine());
        ::SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(added.c_str()));
    }
    shownLines_ = intake_.OpenLine() ? count - 1 : count;
    ++updateCount_;

    // The selection moves with its text; a selection in text that went is dropped.
    const DWORD start = selStart > removed ? selStart - removed : 0;
    const DWORD end = selEnd > removed ? selEnd - removed : 0;
    ::SendMessageW(edit_, EM_SETSEL, start, static_cast<LPARAM>(end));

    // The newest three lines at the top: the first visible line is line count - 4.
    const LRESULT target = static_cast<LRESULT>(intake_.Buffer().FirstVisibleLine());
    const LRESULT current = ::SendMessageW(edit_, EM_GETFIRSTVISIBLELINE, 0, 0);
    if (target != current) {
        ::SendMessageW(edit_, EM_LINESCROLL, 0, target - current);
    }
    // Back to the horizontal position the engineer had scrolled to.
    int xAfter = 0;
    const int width = CharacterWidth(edit_);
    if (hadText && width > 0 && FirstCharacterX(edit_, xAfter) && xAfter != xBefore) {
        ::SendMessageW(edit_, EM_LINESCROLL, static_cast<WPARAM>((xAfter - xBefore) / width), 0);
    }
    ::SendMessageW(edit_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(edit_, nullptr, TRUE);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - began);
    busyMicroseconds_ += static_cast<uint64_t>(took.count());
    // An edit control lays out every line it holds when its text changes; under Wine that
    // took tens of milliseconds per update under a flood. Updating less often keeps the
    // dialog answering.
    const auto spaced = static_cast<UINT>(4 * took.count() / 1000);
    intervalMs_ = std::clamp(spaced, kDrainIntervalMs, kLongestDrainIntervalMs);
}

void TraceField::Clear() {
    intake_.Clear();
    shownLines_ = 0;
    if (edit_ != nullptr) {
        ::SetWindowTextW(edit_, L"");
    }
}

}  // namespace tarvu::win32
