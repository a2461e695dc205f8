#include "app/cli/commands.h"
#include "app/cli/terminal_text.h"
#include "platform/plain_udp_socket.h"
#include "platform/stop_signal.h"
#include "trace/trace_line.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace tarvu::cli {
namespace {

struct EchoOptions {
    int listen = 0;
    std::optional<int> count;
};

// Largest UDP payload over IPv4: every datagram comes back whole.
constexpr size_t kMaxDatagram = 65507;
// How long one receive waits before the stop request is looked at again.
constexpr int kPollMs = 50;

// Exit code when standard output's reader has gone, as for the client.
constexpr int kEchoOutputClosed = 141;

// False once standard output's reader has gone (SIGPIPE is ignored, so the write fails).
bool PrintTrace(const uint8_t* data, size_t n, int direction, const UdpPeer& peer) {
    TraceBlock block;
    block.data = data;
    block.length = n;
    block.direction = direction;
    block.address = peer.address;
    block.port = peer.port;
    const std::string line = FormatTraceLine(block);
    std::fwrite(line.data(), 1, line.size(), stdout);
    return std::fflush(stdout) == 0 || errno != EPIPE;
}

int EchoSession(const EchoOptions& options) {
    PlainUdpSocket socket;
    std::string error;
    if (!socket.Bind(static_cast<uint16_t>(options.listen), error)) {
        PrintErrorLine("tarvu-cli echo: cannot listen on UDP port %d: %s", options.listen,
                       error.c_str());
        return 1;
    }
    PrintErrorLine("tarvu-cli echo: listening on UDP port %u", socket.LocalPort());
    std::fflush(stderr);
    std::vector<uint8_t> buffer(kMaxDatagram);
    int echoed = 0;
    bool outputOpen = true;
    while (outputOpen && !StopRequested() && (!options.count || echoed < *options.count)) {
        UdpPeer peer;
        const int n = socket.ReceiveFrom(buffer.data(), buffer.size(), peer, kPollMs);
        if (n == -1) {
            continue;
        }
        if (n < 0) {
            PrintErrorLine("tarvu-cli echo: receive failed");
            return 1;
        }
        const size_t size = static_cast<size_t>(n);
        // The datagram still goes back when nobody reads the trace any more.
        outputOpen = PrintTrace(buffer.data(), size, 0, peer);
        if (socket.SendTo(peer, buffer.data(), size)) {
            outputOpen = outputOpen && PrintTrace(buffer.data(), size, 1, peer);
        } else {
            PrintErrorLine("tarvu-cli echo: could not send the datagram back");
        }
        ++echoed;
    }
    if (!outputOpen) {
        PrintErrorLine("tarvu-cli echo: standard output was closed");
        return kEchoOutputClosed;
    }
    return 0;
}

int RunEcho(const EchoOptions& options) {
    InstallStopSignals();
    const int code = EchoSession(options);
    // Nothing to save: a console close waits no longer.
    StopCompleted();
    return code;
}

}  // namespace

void RegisterEchoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<EchoOptions>();
    auto* command = app.add_subcommand(
        "echo",
        "A peer for trying the client without a converter: sends every datagram back to its "
        "sender and traces each one in (-->) and out (<--) on standard output");
    command->footer(
        "Example:\n"
        "  tarvu-cli echo --listen 10002\n"
        "  tarvu-cli --to 127.0.0.1 --port 10002 --listen 10001 --send \"11 01 00 30 00\" "
        "--wait 1000\n"
        "Ends at Ctrl+C, SIGTERM or SIGHUP, after --count datagrams, or when the reader of "
        "standard output goes away (exit code 141). Exit code 1 when the port cannot be "
        "bound.");
    command->add_option("--listen", options->listen, "UDP port to listen on (0: any free port)")
        ->required()
        ->check(CLI::Range(0, 65535));
    command->add_option("--count", options->count, "End after echoing this many datagrams")
        ->check(CLI::Range(1, 1000000000));
    command->callback([options, &exitCode] { exitCode = RunEcho(*options); });
}

}  // namespace tarvu::cli
