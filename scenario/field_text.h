#pragma once
// Packets and patterns written as fields: "dev=01 addr2=00 type=30 qual=10 code=A3 body=01 00 D1".
// The names are those of the decoded trace line; only body= takes several words.

#include "scenario/source_text.h"

#include <string_view>
#include <vector>

namespace tarvu::scenario {

enum class FieldName { kDevice, kSecond, kType, kQualifier, kCode, kBody };

struct FieldText {
    FieldName name = FieldName::kDevice;
    size_t nameOffset = 0;
    std::string_view value;  // from after '=' to the end of its last word
    size_t valueOffset = 0;
};

// True when the token reads as a field (a known or unknown name, then '=').
bool LooksLikeField(const Token& token);

// Reads tokens [first, last) of `line` as fields. Fails on an unknown name, a field given
// twice, an empty value, or words after a one-word field.
bool SplitFields(const SourceLine& line, size_t first, size_t last, std::vector<FieldText>& fields,
                 Failure& failure);

}  // namespace tarvu::scenario
