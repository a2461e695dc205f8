#pragma once
// Text to and from the Windows system: UTF-16 for the wide functions, and the text of an error
// code; platform-internal.

#include <string>
#include <string_view>

namespace tarvu {

std::wstring Wide(std::string_view utf8);
std::string Utf8(const wchar_t* wide);

// "The system cannot find the path specified (3)": the system's English text where it has one
// in plain ASCII (its texts come in the ANSI code page, and everything printed is UTF-8), else
// `fallback`; always with the code in parentheses.
std::string SystemErrorText(unsigned long code, const char* fallback);

}  // namespace tarvu
