#include "app/cli/client_mode.h"

#include "app/cli/client_mode_view.h"
#include "app/cli/message_option.h"
#include "app/cli/send_step_poller.h"
#include "app/dotted_address.h"
#include "app/main_dialog_logic.h"
#include "app/settings.h"
#include "link/hex_text.h"
#include "platform/debug_output.h"
#include "platform/stop_signal.h"

#include <array>
#include <cstdio>
#include <memory>

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

Cipher test: --gost-key configures channel 1 from its record with the cipher on, the key given
and --to/--port as the converter's address: every packet leaves with its addresses in clear and
the rest GOST-encrypted. --announce-key adds the channel's 256-bit RSA public key (generated
once per session) to every packet. --message puts a message on the pending list and
--poll-interval lets the engine's cycle builder take it: each message goes out 3 times
(the last with parameter C6), 3000 ms apart.

Serial line: --serial DEVICE --baud N opens channel 1 as a serial channel (kind 9) on the
device (/dev/ttyUSB0, /dev/ttyS0, a pseudo-terminal) at N baud, 8N1, no flow control; packets
leave on the line (--to/--port only name the destination in the trace), received blocks are
traced from 000.000.000.000:00000, --frame cuts them into frames as for UDP.

Exit codes: 0 done; 1 channel 1 could not be opened (read port taken? serial line missing or
busy?); 2 usage error.

First session, without a converter (two terminals):
  tarvu-cli echo --listen 10002
  tarvu-cli --to 127.0.0.1 --port 10002 --listen 10001 --send "11 01 00 30 00" --wait 1000
The client prints the packet it sent (<--) and the echoed reply (-->).)";

// The dialog's one channel, named in the messages given on the command line.
constexpr uint8_t kClientChannelNumber = 1;

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
    auto* gostKey = app.add_option(
        "--gost-key", options.gostKey,
        "Encrypt every packet with this GOST 28147-89 key: 64 hex digits (32 bytes, key byte 0 "
        "first, blanks allowed); the channel is configured with the cipher on and --to/--port "
        "as the converter");
    app.add_flag("--announce-key", options.announceKey,
                 "With --gost-key: open the channel with a key exchange pending, so that every "
                 "packet carries the channel's RSA public key (low 32 bytes of the modulus and "
                 "of the exponent) before its body")
        ->needs(gostKey);
    app.add_option("--message", options.messages,
                   "CODE:DEVICE[:PARAM[:EXTRA]]: put an application message on the pending list "
                   "(CODE a name such as ca_SET_1 or a number, 0x for hexadecimal; the rest "
                   "bytes); repeatable; needs --poll-interval to be sent")
        ->expected(1)
        ->take_all();
    app.add_option("--poll-interval", options.pollIntervalMs,
                   "Post a send step every this many milliseconds while the channel runs: an "
                   "empty queue is refilled from the pending messages")
        ->check(CLI::Range(1, 3600000));
    auto* serial = app.add_option(
        "--serial", options.serialDevice,
        "Serial line instead of UDP: the device path, e.g. /dev/ttyUSB0 (opened exclusively, "
        "raw 8N1, no flow control, DTR and RTS raised)");
    auto* baud = app.add_option("--baud", options.baudRate,
                                "Baud rate of the serial line; rates without a termios constant "
                                "need a device that takes arbitrary rates")
                     ->check(CLI::Range(1u, 100000000u));
    serial->needs(baud);
    baud->needs(serial);
    serial->excludes(gostKey);
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

    std::array<uint8_t, 32> gostKey = {};
    if (!options.gostKey.empty()) {
        std::vector<uint8_t> bytes;
        std::string error;
        if (!ParseHexStrict(options.gostKey, bytes, error) || bytes.size() != gostKey.size()) {
            std::fprintf(stderr, "tarvu-cli: --gost-key: %s\n",
                         error.empty() ? "the key has 32 bytes (64 hex digits)" : error.c_str());
            return kClientUsageError;
        }
        std::copy(bytes.begin(), bytes.end(), gostKey.begin());
    }
    if (options.baudRate != 0 && options.serialDevice.empty()) {
        std::fprintf(stderr, "tarvu-cli: --serial: no device path\n");
        return kClientUsageError;
    }
    if (options.serialDevice.size() >= ChannelRecord{}.serialDevice.size()) {
        std::fprintf(stderr, "tarvu-cli: --serial: the device path is longer than %zu bytes\n",
                     ChannelRecord{}.serialDevice.size() - 1);
        return kClientUsageError;
    }
    std::vector<MessageRecord> messages;
    for (const std::string& text : options.messages) {
        MessageRecord message;
        std::string error;
        if (!ParseMessageOption(text, kClientChannelNumber, message, error)) {
            std::fprintf(stderr, "tarvu-cli: --message: %s\n", error.c_str());
            return kClientUsageError;
        }
        messages.push_back(message);
    }

    EnableDebugToStderr(options.debug);
    InstallStopSignals();
    // The option's text is UTF-8; a path made from a plain string would read it in the
    // system's ANSI code page on Windows and lose Cyrillic names.
    const std::string& file = options.settingsFile;
    Settings settings =
        Settings::Locate(std::filesystem::path(std::u8string(file.begin(), file.end())));
    ClientModeView view(pinned);
    MainDialogLogic logic(view, settings, title, channels);
    if (!options.gostKey.empty()) {
        logic.SetCipherMode(gostKey, options.announceKey);
    }
    if (!options.serialDevice.empty()) {
        logic.SetSerialMode(options.serialDevice, options.baudRate);
    }
    for (const MessageRecord& message : messages) {
        logic.Messages().AddPending(message);
    }
    logic.Initialise();
    std::unique_ptr<SendStepPoller> poller;
    if (options.pollIntervalMs && logic.ChannelOpen()) {
        poller = std::make_unique<SendStepPoller>(
            std::chrono::milliseconds(*options.pollIntervalMs), [&logic] { logic.PostSendStep(); });
    }

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
    // No step may be posted while the closing sequence closes the channel.
    poller.reset();
    logic.OkSteps();
    logic.DestroySteps();
    return result;
}

}  // namespace tarvu::cli
