#include "app/cli/client_mode.h"

#include "app/cli/client_mode_view.h"
#include "app/dotted_address.h"
#include "app/main_dialog_logic.h"
#include "app/settings.h"
#include "platform/debug_output.h"
#include "platform/stop_signal.h"

#include <cstdio>

namespace tarvu::cli {
namespace {

constexpr const char* kClientFooter = R"(
Without a subcommand tarvu-cli does what the dialog does: it reads its fields from the
settings file (writing the defaults on a first start), opens UDP channel 1 on the read port,
presses "Send!" once for every --send, and at the end runs the closing sequence, which saves
the fields back to the settings file. An option stands in for its field; a field without an
option keeps the stored value.

Standard output carries the trace: one line per datagram, time, peer address:port, the arrow
(<-- sent, --> received) and the bytes; with frame coding on, the coded frame of a sent packet
and every frame decoded from a received datagram follow as indented "..." lines. Message boxes
appear on standard error as "caption: text".

The session ends --wait ms after the last send, after --count received datagrams, or at
Ctrl+C or SIGTERM, whichever comes first; each way runs the closing sequence.

Exit codes: 0 done; 1 channel 1 could not be opened (read port taken?); 2 usage error.

First session, without a converter (two terminals):
  tarvu-cli echo --listen 10002
  tarvu-cli --to 127.0.0.1 --port 10002 --listen 10001 --send "11 01 00 30 00" --wait 1000
The client prints the packet it sent (<--) and the echoed reply (-->).)";

}  // namespace

void AddClientOptions(CLI::App& app, ClientOptions& options) {
    app.footer(kClientFooter);
    app.add_option("--settings", options.settingsFile,
                   "Settings file to use instead of settings.ini beside the program (or "
                   "~/.config/tarvu/settings.ini when that directory is read-only)");
    app.add_option("--to", options.to,
                   "Destination IPv4 address of the converter (the dialog's \"IP адрес "
                   "назначения\"); default: the stored \"IP ADDRES\"");
    app.add_option("--port", options.port,
                   "UDP port the packets are sent to (\"Порт передачи\"); default: the stored "
                   "\"ПОРТ OUT\", 10001 on a first start")
        ->check(CLI::Range(0, 65535));
    app.add_option("--listen", options.listen,
                   "Local UDP port to receive on; packets also leave from it (\"Порт чтения\"); "
                   "default: the stored \"ПОРТ IN\", 10001 on a first start; 0 binds no port, so "
                   "nothing can be received")
        ->check(CLI::Range(0, 65535));
    auto* frame = app.add_flag_callback(
        "--frame", [&options] { options.frame = true; },
        "Frame coding on: packets leave between 7E and 7F with 7E 7F 7D escaped, received "
        "datagrams are cut into frames (\"Заменять запрещённые символы\")");
    auto* noFrame = app.add_flag_callback(
        "--no-frame", [&options] { options.frame = false; },
        "Frame coding off: packets leave as typed; default for both: the stored "
        "\"ЗАМЕНА 7E 7F 7D\"");
    frame->excludes(noFrame);
    app.add_option("--send", options.sends,
                   "Packet text as typed into the packet field, e.g. \"11 01 00 30 00\"; each "
                   "--send is one press of \"Send!\" (blanks dropped, pairs regrouped, stored "
                   "as \"PACKETIK\"); an empty text sends the stored packet")
        ->expected(1)
        ->take_all();
    app.add_option("--interval", options.intervalMs, "Milliseconds between two sends")
        ->capture_default_str()
        ->check(CLI::Range(0, 3600000));
    app.add_option("--wait", options.waitMs,
                   "Milliseconds to keep receiving after the last send (or after start-up when "
                   "nothing is sent); default: until Ctrl+C or SIGTERM")
        ->check(CLI::Range(0, 86400000));
    app.add_option("--count", options.count, "End after this many received datagrams")
        ->check(CLI::Range(1, 1000000000));
    app.add_flag("--debug", options.debug,
                 "Debug output (worker lines, trace lines, message descriptions) on standard "
                 "error");
}

int RunClient(const ClientOptions& options, const std::string& title, ChannelService& channels) {
    PinnedFields pinned;
    if (!options.to.empty()) {
        Octets octets = {};
        if (!ParseDottedAddress(options.to, octets)) {
            std::fprintf(stderr, "tarvu-cli: --to: \"%s\" is not an IPv4 address\n",
                         options.to.c_str());
            return kClientUsageError;
        }
        pinned.ipAddress = octets;
    }
    if (options.port) {
        pinned.sendPort = std::to_string(*options.port);
    }
    if (options.listen) {
        pinned.readPort = std::to_string(*options.listen);
    }
    pinned.substitution = options.frame;

    EnableDebugToStderr(options.debug);
    InstallStopSignals();
    Settings settings = Settings::Locate(options.settingsFile);
    ClientModeView view(pinned);
    MainDialogLogic logic(view, settings, title, channels);
    logic.Initialise();

    const auto countReached = [&options, &logic] {
        return options.count && logic.ReceivedDatagrams() >= static_cast<uint64_t>(*options.count);
    };
    int result = kClientOk;
    if (!logic.ChannelOpen()) {
        // The transport has said why on standard error; close as the dialog would.
        result = kClientChannelNotOpen;
    } else {
        bool ended = false;
        for (size_t i = 0; i < options.sends.size() && !ended; ++i) {
            if (i > 0) {
                ended = WaitForStop(options.intervalMs, countReached) || countReached();
                if (ended) {
                    break;
                }
            }
            view.SetPacketText(options.sends[i]);
            logic.Send();
        }
        if (!ended && !StopRequested()) {
            WaitForStop(options.waitMs.value_or(-1), countReached);
        }
    }
    logic.OkSteps();
    logic.DestroySteps();
    return result;
}

}  // namespace tarvu::cli
