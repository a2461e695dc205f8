#include "app/cli/hex_args.h"

#include "app/cli/terminal_text.h"
#include "link/hex_text.h"

#include <cstdio>

namespace tarvu::cli {

bool ParseHexArgs(const std::vector<std::string>& words, std::vector<uint8_t>& out) {
    std::string joined;
    for (const std::string& word : words) {
        if (!joined.empty()) {
            joined += ' ';
        }
        joined += word;
    }
    std::string error;
    if (!ParseHexStrict(joined, out, error)) {
        PrintErrorLine("tarvu-cli: %s", error.c_str());
        return false;
    }
    return true;
}

}  // namespace tarvu::cli
