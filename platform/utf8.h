#pragma once
// Decoding of one UTF-8 sequence, strictly: no overlong forms, no surrogates, nothing above
// U+10FFFF.

#include <cstddef>
#include <string_view>

namespace tarvu {

struct Utf8Sequence {
    char32_t codePoint = 0;  // meaningful only when valid
    size_t length = 0;       // bytes read: the whole sequence, or for a malformed one the
                             // longest prefix that looked valid (at least one byte)
    bool valid = false;
};

// Decodes the sequence at the start of a non-empty `text`.
Utf8Sequence DecodeUtf8Sequence(std::string_view text);

}  // namespace tarvu
