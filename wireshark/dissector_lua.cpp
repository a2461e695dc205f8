#include "wireshark/dissector_lua.h"

#include "trace/message_catalogue.h"

#include <cstdio>

namespace tarvu {
namespace {

constexpr std::string_view kPlaceholder = "-- @CATALOGUE@";

// A Lua string literal: quotes, backslashes and control characters escaped; UTF-8 kept.
std::string LuaString(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03u", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

std::string DissectorLua() {
    std::string lua(DissectorLuaTemplate());
    const size_t at = lua.find(kPlaceholder);
    if (at == std::string::npos) {
        return {};
    }
    std::string table;
    for (const CatalogueEntry& entry : CatalogueEntries()) {
        char key[32];
        std::snprintf(key, sizeof key, "    [0x%02X] = ", static_cast<unsigned>(entry.code));
        table += key + LuaString(entry.name) + ",\n";
    }
    lua.replace(at, kPlaceholder.size(), table);
    return lua;
}

}  // namespace tarvu
