#pragma once
// The line-oriented text of scenario and rule files: lines cut into tokens, comments dropped,
// and errors that name the file, the line, the column and the offending text.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvu::scenario {

// An error in a file, as "FILE:LINE:COLUMN: MESSAGE: \"TEXT\"". Columns count characters
// (UTF-8 code points) from 1; a tab is one character.
struct SourceError {
    std::string file;
    uint32_t line = 0;
    uint32_t column = 0;
    std::string message;
    std::string text;  // the offending text; empty when there is none (a missing argument)
};

std::string FormatSourceError(const SourceError& error);

// What a part parser reports: where in the line the trouble starts (a byte offset), how many
// bytes the offending text takes, and what is wrong.
struct Failure {
    size_t offset = 0;
    size_t length = 0;
    std::string message;
};

struct Token {
    std::string_view text;  // as written, quotes included
    size_t offset = 0;      // byte offset in the line
    bool quoted = false;
    std::string value;  // a quoted token without its quotes and escapes; else the text

    size_t End() const { return offset + text.size(); }
};

struct SourceLine {
    uint32_t number = 0;
    std::string_view text;  // the whole line, comment included, without its line end
    std::vector<Token> tokens;
};

// Cuts `text` into lines and tokens. Blanks and tabs separate tokens; "..." is one token
// (\" and \\ escape inside); '#' outside quotes starts a comment. Lines without tokens are
// left out. Fails on bytes that are not UTF-8, on control characters other than the tab, and
// on a quote left open. A UTF-8 byte-order mark at the start is skipped; CR LF ends lines too.
// On failure `badLine` holds the offending line (its number and text, no tokens).
bool SplitLines(std::string_view text, std::vector<SourceLine>& lines, SourceLine& badLine,
                Failure& failure);

// Cuts `text` into lines as SplitLines does and hands each to `statement`, which fills
// `failure` when it returns false; stops at the first failure with its error in `error`.
bool ForEachStatement(std::string_view file, std::string_view text, Failure& failure,
                      SourceError& error, const std::function<bool(const SourceLine&)>& statement);

// Column (from 1) of the byte `offset` of `line`, counting UTF-8 code points.
uint32_t ColumnOf(std::string_view line, size_t offset);

// The error for `failure` in `line`: its column and the offending text (at least the token or
// character at the offset when `failure.length` is 0 and there is text there).
SourceError MakeSourceError(std::string_view file, const SourceLine& line, const Failure& failure);

// The text from the start of token `first` to the end of token `last - 1`, and its offset.
std::string_view TokenSpan(const SourceLine& line, size_t first, size_t last);

}  // namespace tarvu::scenario
