#pragma once
// Command-line hex arguments: the words are joined and parsed strictly.

#include <cstdint>
#include <string>
#include <vector>

namespace tarvu::cli {

// Exit code of a usage error, as CLI11 uses it for its own parse errors.
constexpr int kUsageError = 2;

// Parses the joined words; on failure prints "tarvu-cli: <what is wrong>" to standard
// error and returns false.
bool ParseHexArgs(const std::vector<std::string>& words, std::vector<uint8_t>& out);

}  // namespace tarvu::cli
