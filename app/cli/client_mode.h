#pragma once
// tarvu-cli without a subcommand: the dialog's start-up, one "Send!" per --send, and the
// closing sequence, with every trace line on standard output.

#include "app/channel_service.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvu::cli {

struct ClientOptions {
    std::string settingsFile;
    std::string to;  // empty: the stored "IP ADDRES"
    std::optional<int> port;
    std::optional<int> listen;
    std::optional<bool> frame;
    std::vector<std::string> sends;
    int intervalMs = 300;
    // Each --send this many times, --every ms apart on an exact schedule; none: once each.
    std::optional<uint64_t> repeat;
    std::optional<int> everyMs;  // none: --interval
    std::optional<int> waitMs;   // none: until SIGINT, SIGTERM or SIGHUP
    std::optional<int> count;
    bool debug = false;
    // Session record: every trace line appended to this file; every datagram to a capture.
    std::string logFile;
    std::string pcapFile;
    // Cipher test: 64 hex digits of the channel's GOST key; empty: packets leave plain.
    std::string gostKey;
    bool announceKey = false;
    std::vector<std::string> messages;  // CODE:DEVICE[:PARAM[:EXTRA]]
    std::optional<int> pollIntervalMs;
    // Serial line: channel 1 is a serial channel on this device at --baud; empty: UDP.
    std::string serialDevice;
    uint32_t baudRate = 0;
    // A decoded line below every link packet's trace line; the session figures at the end.
    bool decode = false;
    bool stats = false;
};

// Adds the client options to the top-level application, with a help text and an example.
void AddClientOptions(CLI::App& app, ClientOptions& options);

// Exit codes of the client mode.
constexpr int kClientOk = 0;
constexpr int kClientChannelNotOpen = 1;
constexpr int kClientUsageError = 2;
// Standard output's reader went away (`| head`); the session ended as on SIGTERM. The number
// is the status a shell reports for a program that SIGPIPE ended (128 + 13), as before.
constexpr int kClientOutputClosed = 141;

// Runs one session. `title` is the caption of message boxes (the program's name).
int RunClient(const ClientOptions& options, const std::string& title,
              ChannelService& channels = TransportChannels());

}  // namespace tarvu::cli
