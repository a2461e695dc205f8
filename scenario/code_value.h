#pragma once
// A message code as the files write it: two hexadecimal digits (A3), a catalogue name
// (ca_RELOCK, any letter case), or both as the decoded trace line prints them (A3(ca_RELOCK)).

#include "scenario/source_text.h"

#include <cstdint>
#include <string_view>

namespace tarvu::scenario {

bool ParseCodeValue(std::string_view text, size_t offset, uint8_t& code, Failure& failure);

}  // namespace tarvu::scenario
