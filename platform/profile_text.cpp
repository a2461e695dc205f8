#include "platform/profile_text.h"

#include "platform/cp1251.h"

namespace tarvu {
namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

enum class LineKind { kBlank, kComment, kSection, kKey };

// One line of the text: [begin, contentEnd) is its content, [contentEnd, end) its line end.
struct Line {
    size_t begin = 0;
    size_t contentEnd = 0;
    size_t end = 0;
    LineKind kind = LineKind::kBlank;
    std::string_view name;                   // section name or key name
    size_t equals = std::string_view::npos;  // offset of '=' in the text, for key lines
};

Line ParseLine(std::string_view text, size_t begin) {
    Line line;
    line.begin = begin;
    const size_t newline = text.find('\n', begin);
    line.end = newline == std::string_view::npos ? text.size() : newline + 1;
    line.contentEnd = newline == std::string_view::npos ? text.size() : newline;
    if (line.contentEnd > begin && text[line.contentEnd - 1] == '\r') {
        --line.contentEnd;
    }
    const std::string_view content = text.substr(begin, line.contentEnd - begin);
    const std::string_view trimmed = Trim(content);
    if (trimmed.empty()) {
        return line;
    }
    if (trimmed.front() == ';') {
        line.kind = LineKind::kComment;
    } else if (trimmed.front() == '[') {
        line.kind = LineKind::kSection;
        const std::string_view inner = trimmed.substr(1);
        line.name = Trim(inner.substr(0, inner.find(']')));
    } else {
        line.kind = LineKind::kKey;
        const size_t equals = content.find('=');
        line.name = Trim(content.substr(0, equals));
        if (equals != std::string_view::npos) {
            line.equals = begin + equals;
        }
    }
    return line;
}

// Where a section and a key were found.
struct Location {
    bool sectionFound = false;
    size_t afterLastKey = 0;  // end of the section's header or last key line
    bool keyFound = false;
    Line keyLine;
};

Location Locate(std::string_view text, std::string_view section, std::string_view key) {
    Location where;
    bool inSection = false;
    size_t pos = 0;
    while (pos < text.size()) {
        const Line line = ParseLine(text, pos);
        pos = line.end;
        if (line.kind == LineKind::kSection) {
            if (inSection) {
                break;
            }
            if (Cp1251EqualsIgnoreCase(line.name, section)) {
                inSection = true;
                where.sectionFound = true;
                where.afterLastKey = line.end;
            }
        } else if (inSection && line.kind == LineKind::kKey) {
            where.afterLastKey = line.end;
            if (Cp1251EqualsIgnoreCase(line.name, key)) {
                where.keyFound = true;
                where.keyLine = line;
                break;
            }
        }
    }
    return where;
}

std::string_view LineEndStyle(std::string_view text) {
    const size_t newline = text.find('\n');
    if (newline != std::string_view::npos && (newline == 0 || text[newline - 1] != '\r')) {
        return "\n";
    }
    return "\r\n";
}

bool EndsWithLineEnd(std::string_view text, size_t pos) {
    return pos > 0 && text[pos - 1] == '\n';
}

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
    const Location where = Locate(text, section, key);
    if (!where.keyFound) {
        return std::nullopt;
    }
    const Line& line = where.keyLine;
    if (line.equals == std::string_view::npos) {
        return std::string();
    }
    std::string_view value =
        Trim(text.substr(line.equals + 1, line.contentEnd - (line.equals + 1)));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

void SetProfileValue(std::string& text, std::string_view section, std::string_view key,
                     std::string_view value) {
    const Location where = Locate(text, section, key);
    const std::string_view eol = LineEndStyle(text);
    if (where.keyFound) {
        const Line& line = where.keyLine;
        if (line.equals == std::string_view::npos) {
            // Built by appending: GCC 12 at -O3 reports a false -Wrestrict overlap inside
            // std::string for `"=" + std::string(value)` (GCC bug 105329).
            std::string assignment(1, '=');
            assignment += value;
            text.insert(line.contentEnd, assignment);
            return;
        }
        // Keep the blanks after '=' and those after a non-empty old value.
        const std::string_view afterEquals(text.data() + line.equals + 1,
                                           line.contentEnd - (line.equals + 1));
        const size_t valueStart = afterEquals.find_first_not_of(kBlanks);
        if (valueStart == std::string_view::npos) {
            text.replace(line.contentEnd, 0, value);
            return;
        }
        const size_t valueEnd = afterEquals.find_last_not_of(kBlanks) + 1;
        text.replace(line.equals + 1 + valueStart, valueEnd - valueStart, value);
        return;
    }
    // A line end first when the section's last line lacks one. Appended in order rather than
    // inserted at the front, which GCC 12 at -O3 reports as a false -Wrestrict overlap.
    std::string entry;
    if (where.sectionFound && !EndsWithLineEnd(text, where.afterLastKey)) {
        entry += eol;
    }
    entry += key;
    entry += '=';
    entry += value;
    entry += eol;
    if (where.sectionFound) {
        text.insert(where.afterLastKey, entry);
        return;
    }
    if (!text.empty() && !EndsWithLineEnd(text, text.size())) {
        text += eol;
    }
    text += '[';
    text += section;
    text += ']';
    text += eol;
    text += entry;
}

bool IsValidProfileEntry(std::string_view section, std::string_view key, std::string_view value) {
    const auto hasBreak = [](std::string_view s) {
        return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
    };
    const auto wellTrimmed = [](std::string_view s) { return !s.empty() && Trim(s) == s; };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value)) {
        return false;
    }
    if (!wellTrimmed(section) || section.find(']') != std::string_view::npos) {
        return false;
    }
    return wellTrimmed(key) && key.find('=') == std::string_view::npos && key.front() != '[' &&
           key.front() != ';';
}

}  // namespace tarvu
