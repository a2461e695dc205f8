#pragma once
// Names of the alarm protocol's message codes and of four message-parameter values, printed as
// "21(ma_ALARM)" and "9E(PARAM_LOST_ACCUM)".

#include <cstdint>
#include <span>
#include <string>

namespace tarvu {

struct CatalogueEntry {
    uint32_t code;
    const char* name;  // UTF-8; what stands between the parentheses
};

// Every named code, in ascending order.
std::span<const CatalogueEntry> CatalogueEntries();

// The name of `code`, or null for a code without one.
const char* FindCodeName(uint32_t code);

// "%.2X(name)", or "%.2X(? ? ?)" for a code without a name.
std::string DescribeCode(uint32_t code);

// The name of a message-parameter value ("PARAM_LOST_ACCUM"), or null for the values without
// one (all but four).
const char* FindParameterName(uint8_t parameter);

// "%.2X(PARAM_...)" for the four named values, else the bare "%.2X".
std::string DescribeParameter(uint8_t parameter);

// printf's "%.2X": upper-case hexadecimal, at least two digits.
std::string FormatHexCode(uint32_t value);

}  // namespace tarvu
