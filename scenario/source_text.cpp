#include "scenario/source_text.h"

#include "platform/utf8.h"

namespace tarvu::scenario {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Length of the token-ish text at `offset` for an excerpt: up to the next blank.
size_t WordLength(std::string_view line, size_t offset) {
    size_t end = offset;
    while (end < line.size() && !IsBlank(line[end])) {
        ++end;
    }
    return end - offset;
}

// Checks one line's bytes: UTF-8, no control characters but the tab. On failure sets the
// failure's offset to the bad byte.
bool CheckLineBytes(std::string_view line, Failure& failure) {
    size_t i = 0;
    while (i < line.size()) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (byte < 0x20 || byte == 0x7F) {
            if (byte == '\t') {
                ++i;
                continue;
            }
            failure = {i, 1, "control character in the line"};
            return false;
        }
        if (byte < 0x80) {
            ++i;
            continue;
        }
        const Utf8Sequence sequence = DecodeUtf8Sequence(line.substr(i));
        if (!sequence.valid) {
            failure = {i, 1, "bytes that are not UTF-8"};
            return false;
        }
        // C1 controls would move a terminal's cursor when the text is shown back.
        if (sequence.codePoint >= 0x80 && sequence.codePoint < 0xA0) {
            failure = {i, sequence.length, "control character in the line"};
            return false;
        }
        i += sequence.length;
    }
    return true;
}

bool Tokenize(std::string_view line, std::vector<Token>& tokens, Failure& failure) {
    size_t i = 0;
    while (i < line.size()) {
        if (IsBlank(line[i])) {
            ++i;
            continue;
        }
        if (line[i] == '#') {
            break;
        }
        Token token;
        token.offset = i;
        if (line[i] == '"') {
            token.quoted = true;
            size_t j = i + 1;
            bool closed = false;
            while (j < line.size()) {
                if (line[j] == '\\' && j + 1 < line.size() &&
                    (line[j + 1] == '"' || line[j + 1] == '\\')) {
                    token.value += line[j + 1];
                    j += 2;
                    continue;
                }
                if (line[j] == '"') {
                    closed = true;
                    ++j;
                    break;
                }
                token.value += line[j];
                ++j;
            }
            if (!closed) {
                failure = {i, line.size() - i, "the quote is not closed"};
                return false;
            }
            if (j < line.size() && !IsBlank(line[j]) && line[j] != '#') {
                failure = {j, WordLength(line, j), "text right after the closing quote"};
                return false;
            }
            token.text = line.substr(i, j - i);
            i = j;
        } else {
            size_t j = i;
            while (j < line.size() && !IsBlank(line[j]) && line[j] != '#') {
                ++j;
            }
            token.text = line.substr(i, j - i);
            token.value = std::string(token.text);
            i = j;
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

}  // namespace

std::string FormatSourceError(const SourceError& error) {
    std::string out = error.file + ":" + std::to_string(error.line) + ":" +
                      std::to_string(error.column) + ": " + error.message;
    if (!error.text.empty()) {
        out += ": \"" + error.text + "\"";
    }
    return out;
}

bool SplitLines(std::string_view text, std::vector<SourceLine>& lines, SourceLine& badLine,
                Failure& failure) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    uint32_t number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        ++number;
        start = next;
        SourceLine source;
        source.number = number;
        source.text = line;
        if (!CheckLineBytes(line, failure) || !Tokenize(line, source.tokens, failure)) {
            badLine.number = number;
            badLine.text = line;
            badLine.tokens.clear();
            return false;
        }
        if (!source.tokens.empty()) {
            lines.push_back(std::move(source));
        }
    }
    return true;
}

uint32_t ColumnOf(std::string_view line, size_t offset) {
    uint32_t column = 1;
    for (size_t i = 0; i < offset && i < line.size(); ++i) {
        // Continuation bytes (10xxxxxx) belong to the character before them.
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return column;
}

bool ForEachStatement(std::string_view file, std::string_view text, Failure& failure,
                      SourceError& error, const std::function<bool(const SourceLine&)>& statement) {
    std::vector<SourceLine> lines;
    SourceLine bad;
    if (!SplitLines(text, lines, bad, failure)) {
        error = MakeSourceError(file, bad, failure);
        return false;
    }
    for (const SourceLine& line : lines) {
        if (!statement(line)) {
            error = MakeSourceError(file, line, failure);
            return false;
        }
    }
    return true;
}

SourceError MakeSourceError(std::string_view file, const SourceLine& line, const Failure& failure) {
    SourceError error;
    error.file = std::string(file);
    error.line = line.number;
    const size_t offset = std::min(failure.offset, line.text.size());
    error.column = ColumnOf(line.text, offset);
    error.message = failure.message;
    size_t length = failure.length;
    if (length == 0) {
        length = WordLength(line.text, offset);
    }
    // Whole characters: a byte that starts a Cyrillic letter takes the rest of it along.
    while (offset + length < line.text.size() &&
           (static_cast<unsigned char>(line.text[offset + length]) & 0xC0) == 0x80) {
        ++length;
    }
    error.text = std::string(line.text.substr(offset, length));
    return error;
}

std::string_view TokenSpan(const SourceLine& line, size_t first, size_t last) {
    if (first >= last || last > line.tokens.size()) {
        return {};
    }
    const size_t start = line.tokens[first].offset;
    return line.text.substr(start, line.tokens[last - 1].End() - start);
}

}  // namespace tarvu::scenario
