#pragma once
// The command-line options of run and simulate that stand in for a file's header statements
// (to, listen, serial, frame, key): an option wins over the file, the file over the settings.
// Also reading the file itself.

#include "scenario/link_header.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace tarvu::cli {

struct LinkOverrides {
    std::string to;  // ADDRESS:PORT; empty: not given
    std::optional<int> listen;
    std::string serialDevice;
    uint32_t baudRate = 0;
    std::optional<bool> frame;
    std::string key;  // 64 hex digits; empty: not given
};

// Adds --to, --listen, --serial, --baud, --frame, --no-frame and --key to `command`;
// `peerRole` names what --to is ("the converter", "the first receiver of every ... send").
void AddLinkOverrides(CLI::App& command, LinkOverrides& overrides, const std::string& peerRole,
                      bool listenZero);

// Puts the given options over `link`. False with a message in `error` when --to or --key is
// not well formed.
bool ApplyLinkOverrides(const LinkOverrides& overrides, scenario::LinkSettings& link,
                        std::string& error);

// Reads a whole file named in UTF-8. False with the reason in `error`.
bool ReadTextFile(const std::string& path, std::string& text, std::string& error);

// Exit codes of run and simulate.
constexpr int kScriptPassed = 0;
constexpr int kScriptFailed = 1;
constexpr int kScriptUsage = 2;
constexpr int kScriptLinkUnusable = 3;
// Standard output's reader went away: the program ended as on SIGTERM (as the client does).
constexpr int kScriptOutputClosed = 141;

}  // namespace tarvu::cli
