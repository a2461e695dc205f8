#pragma once
// Helpers for the scenario library's tests: one line of text as a SourceLine, hex bytes.

#include "link/hex_text.h"
#include "scenario/source_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvu::scenario::testing {

// Holds the text the SourceLine points into.
struct OneLine {
    explicit OneLine(std::string source) : text(std::move(source)) {
        std::vector<SourceLine> lines;
        SourceLine bad;
        Failure failure;
        EXPECT_TRUE(SplitLines(this->text, lines, bad, failure)) << failure.message;
        if (!lines.empty()) {
            line = lines[0];
        }
    }
    std::string text;
    SourceLine line;
};

inline std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(ParseHexStrict(text, bytes, error)) << error;
    return bytes;
}

}  // namespace tarvu::scenario::testing
