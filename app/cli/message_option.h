#pragma once
// The --message argument of tarvu-cli: CODE:DEVICE[:PARAM[:EXTRA]] as an application message.

#include "link/engine_config.h"

#include <string>
#include <string_view>

namespace tarvu::cli {

// CODE is a catalogue name (ca_SET_1) or a number; every number is decimal or, with 0x in
// front, hexadecimal. DEVICE, PARAM and EXTRA are bytes (0..255); PARAM and EXTRA default
// to 0. The record names `channelNumber`. On failure returns false and says why in `error`.
bool ParseMessageOption(std::string_view text, uint8_t channelNumber, MessageRecord& out,
                        std::string& error);

}  // namespace tarvu::cli
