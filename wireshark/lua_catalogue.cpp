// Writes tarvu.lua from its template, with the message catalogue filled in from the program's
// own table, so the dissector and tarvu-cli never disagree on a name.
//
// Usage: tarvu_lua_catalogue TEMPLATE OUTPUT

#include "trace/message_catalogue.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr const char* kPlaceholder = "-- @CATALOGUE@";

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

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TEMPLATE OUTPUT\n", argc > 0 ? argv[0] : "lua_catalogue");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string lua = text.str();
    const size_t at = lua.find(kPlaceholder);
    if (!in || at == std::string::npos) {
        std::fprintf(stderr, "%s: no %s line\n", argv[1], kPlaceholder);
        return 1;
    }
    std::string table;
    for (const tarvu::CatalogueEntry& entry : tarvu::CatalogueEntries()) {
        char key[32];
        std::snprintf(key, sizeof key, "    [0x%02X] = ", static_cast<unsigned>(entry.code));
        table += key + LuaString(entry.name) + ",\n";
    }
    lua.replace(at, std::string(kPlaceholder).size(), table);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << lua;
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
