// Writes tarvu.lua: the dissector as the programs carry it (wireshark/dissector_lua.h).
//
// Usage: tarvu_lua_catalogue OUTPUT

#include "wireshark/dissector_lua.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argc > 0 ? argv[0] : "tarvu_lua_catalogue");
        return 2;
    }
    const std::string lua = tarvu::DissectorLua();
    if (lua.empty()) {
        std::fprintf(stderr, "tarvu.lua.in: no \"-- @CATALOGUE@\" line\n");
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << lua;
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot write\n", argv[1]);
        return 1;
    }
    return 0;
}
