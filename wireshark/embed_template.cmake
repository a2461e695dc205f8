# Writes a C++ source whose DissectorLuaTemplate() returns the bytes of tarvu.lua.in, so that
# the programs carry the dissector in themselves.
#   cmake -DINPUT=tarvu.lua.in -DOUTPUT=dissector_template.cpp -P embed_template.cmake
# Bytes rather than a string literal: any byte of the template is safe, and no compiler's
# limit on the length of a literal applies.
file(READ "${INPUT}" hex HEX)
string(REPEAT "[0-9a-f]" 32 sixteen_bytes)
string(REGEX REPLACE "(${sixteen_bytes})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUTPUT}.tmp" "// Generated from tarvu.lua.in by embed_template.cmake.
#include \"wireshark/dissector_lua.h\"

namespace tarvu {
namespace {

constexpr unsigned char kTemplate[] = {
${bytes}
};

}  // namespace

std::string_view DissectorLuaTemplate() {
    return {reinterpret_cast<const char*>(kTemplate), sizeof kTemplate};
}

}  // namespace tarvu
")
# Rewritten only when changed, so that the library is not rebuilt for nothing.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
