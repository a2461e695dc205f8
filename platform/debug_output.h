#pragma once
// The debug sink: where worker lines, trace lines and message descriptions go.
// Silent by default; standard error when TARVU_DEBUG=1 or a front end enables it;
// tests install their own sink to capture the lines.

#include <functional>
#include <string_view>

namespace tarvu {

using DebugSink = std::function<void(std::string_view)>;

// Writes one piece of debug text (lines carry their own "\n"). Thread-safe.
void OutputDebugString(std::string_view text);

// True while a sink is installed: callers may skip composing text that nobody would see.
bool DebugOutputEnabled();

// Replaces the sink; an empty function silences the output. Returns the previous sink.
DebugSink SetDebugSink(DebugSink sink);

// Installs the standard-error sink when `enabled`, or when TARVU_DEBUG=1 is set.
void EnableDebugToStderr(bool enabled);

}  // namespace tarvu
