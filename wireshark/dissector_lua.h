#pragma once
// The Wireshark dissector tarvu.lua as text: its template (tarvu.lua.in, compiled into the
// program) with the message catalogue filled in from the program's own table, so that the
// dissector and the trace never disagree on a name. The build writes it to tarvu.lua, and
// tarvu-cli carries it for `tarvu-cli dissector install`.

#include <string>
#include <string_view>

namespace tarvu {

// The whole tarvu.lua; empty when the template lacks its catalogue line.
std::string DissectorLua();

// tarvu.lua.in as it was at build time.
std::string_view DissectorLuaTemplate();

}  // namespace tarvu
