#include "app/cli/client_mode.h"

#include "app/cli/client_mode_view.h"
#include "app/cli/client_sends.h"
#include "app/cli/message_option.h"
#include "app/cli/send_step_poller.h"
#include "app/cli/terminal_text.h"
#include "app/cli/trace_output.h"
#include "app/dotted_address.h"
#include "app/main_dialog_logic.h"
#include "app/session_settings.h"
#include "app/settings.h"
#include "link/hex_text.h"
#include "platform/completion_port.h"
#include "platform/debug_output.h"
#include "platform/message_box.h"
#include "platform/stop_signal.h"
#include "platform/udp_statistics.h"
#include "record/session_recorder.h"
#include "trace/session_figures.h"

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

A received datagram longer than the 500-byte receive buffer is traced cut, followed by
"...! cut: N bytes arrived, 500 kept". Datagrams the system dropped before they could be
received (a full socket buffer under a flood) are said where they were lost, by the line
"...! N datagrams dropped by the system here" before the next datagram received; a session
whose trace is incomplete says so on standard error at the end.

The session ends --wait ms after the last packet has left, after --count received datagrams,
at Ctrl+C, SIGTERM or SIGHUP (a closed terminal), or when the reader of standard output goes
away (| head -n 3), whichever comes first; each way runs the closing sequence. Packets still
queued at the end are counted on standard error.

Exact periodic sends: --repeat N --every MS sends each --send N times, send k at start +
k * MS. The engine otherwise waits 300 ms after every typed packet before it takes the next
completion; in such a session it waits 0 ms, so a faster schedule neither piles up behind
that wait nor delays the replies, and the dialog keeps its 300 ms.

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

Session record: --log FILE appends a header line and every trace line to FILE; --pcap FILE
writes every UDP datagram as it was on the wire to a pcap capture (Wireshark decodes it once
"tarvu-cli dissector install" has put the dissector in place). --pcap takes a regular file or
a new name, --log also a device such as /dev/null; a named pipe or "-" (standard output
carries the trace) is refused at once. A file that fails later (full disk) is reported once on
standard error and the session goes on; when the disk cannot keep up, what each file lost is
counted on standard error at the end.

Exit codes: 0 done; 1 channel 1 could not be opened (read port taken? serial line missing or
busy?), or the --log or --pcap file could not be opened; 2 usage error; 141 standard output
was closed by its reader, trace lines were lost there (the session ended with its closing
sequence, log and capture complete).

First session, without a converter (two terminals):
  tarvu-cli echo --listen 10002
  tarvu-cli --to 127.0.0.1 --port 10002 --listen 10001 --send "11 01 00 30 00" --wait 1000
The client prints the packet it sent (<--) and the echoed reply (-->).)";

// The dialog's one channel, named in the messages given on the command line.
constexpr uint8_t kClientChannelNumber = 1;

void PrintSessionFigures(const SessionFigures& figures, std::FILE* out) {
    std::string block = "tarvu-cli: session figures\n";
    const std::string lines = FormatSessionFigures(figures);
    size_t start = 0;
    while (start < lines.size()) {
        const size_t end = lines.find('\n', start);
        block += "  " + lines.substr(start, end - start + 1);
        start = end + 1;
    }
    std::fwrite(block.data(), 1, block.size(), out);
}

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
        "Frame coding on: packets leave between 7E and 7F with the bytes 7D 7E 7F FF 2B and "
        "those below 20 escaped (7D, then the byte XOR 40), received datagrams are cut into "
        "frames (\"Заменять запрещённые символы\")");
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
    auto* repeat =
        app.add_option("--repeat", options.repeat,
                       "Send each --send this many times on an exact schedule: send k (the "
                       "packets taking turns) leaves at start + k * --every ms, without "
                       "drift; {n} in a packet counts its copies from 0 ({n:2}: two bytes); "
                       "the packets go straight to the channel, not through the packet field")
            ->check(CLI::Range(uint64_t{1}, uint64_t{100000000}));
    app.add_option("--every", options.everyMs,
                   "Milliseconds between two scheduled sends of --repeat; default: --interval")
        ->check(CLI::Range(1, 3600000))
        ->needs(repeat);
    app.add_option("--wait", options.waitMs,
                   "Milliseconds to keep receiving after the last packet has left (or after "
                   "start-up when nothing is sent); default: until Ctrl+C, SIGTERM or SIGHUP")
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
                   "empty queue is refilled from the pending messages; while a step still "
                   "waits (3000 ms after a message) the next is posted only once it has run")
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
    app.add_flag("--decode", options.decode,
                 "Below every packet sent and every packet received (each decoded frame with "
                 "--frame) a line \"...= dev= addr2= type= qual= code= body=\" with the header "
                 "fields, the message code's name and, for received packets, reply=<ms>ms since "
                 "the last packet sent to that peer; a reply from an address or port other than "
                 "the destination is said once as \"...= new sender ADDRESS:PORT\"");
    app.add_flag("--stats", options.stats,
                 "At the end, the session figures on standard error: datagrams and bytes each "
                 "way, datagrams the system dropped before they could be received and datagrams "
                 "that arrived cut (\"dropped by the system: N datagrams, cut: M datagrams\"), "
                 "frames decoded and bytes the frame decoder dropped, reply times (count, min, "
                 "median, max ms, from the moment the reply reached the socket), senders seen");
    app.add_option("--log", options.logFile,
                   "Append the session to this file: a \"# \" header line (date, version, read "
                   "port, destination, frame switch), then every trace line as printed, each "
                   "written as it is traced");
    app.add_option("--pcap", options.pcapFile,
                   "Write every UDP datagram sent and received to this capture file (pcap, raw "
                   "IPv4, replaced if it exists), for Wireshark or tshark with tarvu.lua; not "
                   "for --serial");
    app.add_flag("--debug", options.debug,
                 "Debug output (worker lines, trace lines, message descriptions) on standard "
                 "error");
}

namespace {

// What the options give once checked: the pinned fields, the key, the messages, the sends.
struct ClientSetup {
    PinnedFields pinned;
    std::array<uint8_t, 32> gostKey = {};
    std::vector<MessageRecord> messages;
    SendPlan sends;
};

// Checks the options that CLI11 cannot; kClientOk or the exit code, the reason said.
int PrepareClient(const ClientOptions& options, ClientSetup& setup) {
    if (!options.to.empty()) {
        Octets octets = {};
        if (!ParseDottedAddress(options.to, octets)) {
            PrintErrorLine("tarvu-cli: --to: \"%s\" is not an IPv4 address", options.to.c_str());
            return kClientUsageError;
        }
        setup.pinned.ipAddress = octets;
    }
    if (options.port) {
        setup.pinned.sendPort = std::to_string(*options.port);
    }
    if (options.listen) {
        setup.pinned.readPort = std::to_string(*options.listen);
    }
    setup.pinned.substitution = options.frame;
    if (!options.gostKey.empty()) {
        std::vector<uint8_t> bytes;
        std::string error;
        if (!ParseHexStrict(options.gostKey, bytes, error) ||
            bytes.size() != setup.gostKey.size()) {
            PrintErrorLine("tarvu-cli: --gost-key: %s",
                           error.empty() ? "the key has 32 bytes (64 hex digits)" : error.c_str());
            return kClientUsageError;
        }
        std::copy(bytes.begin(), bytes.end(), setup.gostKey.begin());
    }
    if (options.baudRate != 0 && options.serialDevice.empty()) {
        PrintErrorLine("tarvu-cli: --serial: no device path");
        return kClientUsageError;
    }
    if (options.serialDevice.size() >= ChannelRecord{}.serialDevice.size()) {
        PrintErrorLine("tarvu-cli: --serial: the device path is longer than %zu bytes",
                       ChannelRecord{}.serialDevice.size() - 1);
        return kClientUsageError;
    }
    for (const std::string& text : options.messages) {
        MessageRecord message;
        std::string error;
        if (!ParseMessageOption(text, kClientChannelNumber, message, error)) {
            PrintErrorLine("tarvu-cli: --message: %s", error.c_str());
            return kClientUsageError;
        }
        setup.messages.push_back(message);
    }
    setup.sends.texts = options.sends;
    setup.sends.intervalMs = options.intervalMs;
    setup.sends.repeat = options.repeat;
    setup.sends.everyMs = static_cast<uint32_t>(options.everyMs.value_or(options.intervalMs));
    if (setup.sends.repeat && setup.sends.everyMs == 0) {
        PrintErrorLine("tarvu-cli: --repeat: --every (or --interval) is at least 1 ms");
        return kClientUsageError;
    }
    std::string error;
    if (!PrepareSendPlan(setup.sends, error)) {
        PrintErrorLine("tarvu-cli: %s", error.c_str());
        return kClientUsageError;
    }
    return kClientOk;
}

// The session record's files are opened before anything can be sent or traced.
bool OpenRecord(const ClientOptions& options, SessionRecorder& recorder) {
    std::string error;
    if (!options.logFile.empty() && !recorder.OpenLog(options.logFile, error)) {
        std::fprintf(stderr, "tarvu-cli: --log: %s\n", error.c_str());
        return false;
    }
    if (!options.pcapFile.empty() && !options.serialDevice.empty()) {
        std::fprintf(stderr, "tarvu-cli: --pcap: a serial session writes no capture file\n");
    } else if (!options.pcapFile.empty() && !recorder.OpenCapture(options.pcapFile, error)) {
        std::fprintf(stderr, "tarvu-cli: --pcap: %s\n", error.c_str());
        return false;
    }
    return true;
}

// Whatever ended the session early, say what did not go out.
void ReportUnsent(size_t queued, size_t handed, size_t total) {
    if (queued > 0) {
        PrintErrorLine("tarvu-cli: %zu queued packet%s not sent", queued, queued == 1 ? "" : "s");
    }
    if (handed < total) {
        const size_t left = total - handed;
        PrintErrorLine("tarvu-cli: %zu --send packet%s not queued", left, left == 1 ? "" : "s");
    }
}

}  // namespace

int RunClient(const ClientOptions& options, const std::string& title, ChannelService& channels) {
    ClientSetup setup;
    if (const int code = PrepareClient(options, setup); code != kClientOk) {
        return code;
    }
    SessionRecorder recorder([](const std::string& message) {
        std::fprintf(stderr, "tarvu-cli: %s\n", message.c_str());
    });
    if (!OpenRecord(options, recorder)) {
        return kClientChannelNotOpen;
    }

    EnableDebugToStderr(options.debug);
    InstallStopSignals();
    // Message boxes quote what the user gave (a serial device path, for one).
    const MessageBoxHandler previousBoxes =
        SetMessageBoxHandler([](const std::string& caption, const std::string& text) {
            PrintErrorLine("%s: %s", caption.c_str(), text.c_str());
        });
    // The option's text is UTF-8; a path made from a plain string would read it in the
    // system's ANSI code page on Windows and lose Cyrillic names.
    const std::string& file = options.settingsFile;
    Settings settings =
        Settings::Locate(std::filesystem::path(std::u8string(file.begin(), file.end())));
    // The worker traces into a queue; it never waits for standard output. A reader that goes
    // away ends the session as a stop signal does.
    TraceOutput traceOutput(kStandardOutput, TraceOutput::kDefaultCapacity, [] { RequestStop(); });
    ClientModeView view(setup.pinned,
                        [&traceOutput](const std::string& line) { traceOutput.Append(line); });
    MainDialogLogic logic(view, settings, title, channels);
    if (!options.gostKey.empty()) {
        logic.SetCipherMode(setup.gostKey, options.announceKey);
    }
    if (!options.serialDevice.empty()) {
        logic.SetSerialMode(options.serialDevice, options.baudRate);
    }
    if (setup.sends.repeat) {
        logic.SetUserPacketWait(0);
    }
    for (const MessageRecord& message : setup.messages) {
        logic.Messages().AddPending(message);
    }
    logic.Session().SetDecode(options.decode);
    logic.AddRecordSink(&recorder);
    // Where the system does not count a socket's drops, its count for all programs is all
    // there is to go by.
    const bool watchSystemCount =
        !CompletionPort::CountsSocketDrops() && options.serialDevice.empty();
    const uint64_t udpErrorsAtStart =
        watchSystemCount ? SystemUdpReceiveErrors().value_or(UINT64_MAX) : UINT64_MAX;
    logic.Initialise();
    const uint8_t channelNumber = logic.Request().channelNumber;
    // The socket is bound to every local address.
    recorder.Start(CurrentSessionSettings(*logic.GetMainWindow(), options.serialDevice), 0,
                   CurrentReadPort(*logic.GetMainWindow()));
    std::unique_ptr<SendStepPoller> poller;
    if (options.pollIntervalMs && logic.ChannelOpen()) {
        poller = std::make_unique<SendStepPoller>(
            std::chrono::milliseconds(*options.pollIntervalMs), [&logic] { logic.PostSendStep(); },
            [&channels, channelNumber] { return channels.PendingSendSteps(channelNumber) == 0; });
    }

    const auto countReached = [&options, &logic] {
        return options.count && logic.ReceivedDatagrams() >= static_cast<uint64_t>(*options.count);
    };
    int result = kClientOk;
    size_t handed = 0;
    if (!logic.ChannelOpen()) {
        // The transport has said why on standard error; close as the dialog would.
        result = kClientChannelNotOpen;
    } else {
        bool ended = false;
        handed = RunSendPlan(setup.sends, view, logic, channels, countReached, ended);
        // Each sent packet holds the worker for its wait, so sends pressed faster than that
        // queue up: --wait counts from the moment the last of them has left.
        const auto allLeft = [&channels, channelNumber, &countReached] {
            return countReached() || channels.QueuedUserPackets(channelNumber) == 0;
        };
        if (!ended && !StopRequested() && !WaitForStop(-1, allLeft) && !countReached()) {
            WaitForStop(options.waitMs.value_or(-1), countReached);
        }
    }
    if (logic.ChannelOpen()) {
        ReportUnsent(channels.QueuedUserPackets(channelNumber), handed, setup.sends.Total());
    }
    // No step may be posted while the closing sequence closes the channel.
    poller.reset();
    logic.OkSteps();
    logic.DestroySteps();
    recorder.Stop();
    for (const std::string& line : recorder.DropReport()) {
        PrintErrorLine("tarvu-cli: %s", line.c_str());
    }
    SetMessageBoxHandler(previousBoxes);
    // Every line is written, however long the reader takes, unless the session was asked to
    // stop: then standard output gets a quarter of a second more, and what it did not take is
    // counted.
    const size_t unwritten =
        traceOutput.Finish([] { return StopRequested(); }, std::chrono::milliseconds(250));
    if (traceOutput.OutputClosed()) {
        PrintErrorLine("tarvu-cli: standard output was closed; the session was ended");
        if (result == kClientOk) {
            result = kClientOutputClosed;
        }
    }
    if (unwritten > 0) {
        PrintErrorLine("tarvu-cli: %zu trace line%s not written to standard output", unwritten,
                       unwritten == 1 ? "" : "s");
    }
    const SessionFigures figures = logic.Session().Figures();
    if (options.stats) {
        PrintSessionFigures(figures, stderr);
    }
    // Said whether or not the figures were asked for: the trace looks whole when it is not.
    const std::string incomplete = TraceIncompleteNote(figures);
    if (!incomplete.empty()) {
        PrintErrorLine("tarvu-cli: %s", incomplete.c_str());
    }
    const uint64_t udpErrorsAtEnd =
        udpErrorsAtStart != UINT64_MAX ? SystemUdpReceiveErrors().value_or(0) : 0;
    if (udpErrorsAtStart != UINT64_MAX && udpErrorsAtEnd > udpErrorsAtStart) {
        PrintErrorLine(
            "tarvu-cli: the system could not deliver %llu UDP datagrams while the "
            "session ran (counted for all programs together; this system does not "
            "count them per socket): the trace may be incomplete",
            static_cast<unsigned long long>(udpErrorsAtEnd - udpErrorsAtStart));
    }
    // A console close (Windows) that waits for the closing sequence may now end the process.
    StopCompleted();
    return result;
}

}  // namespace tarvu::cli
