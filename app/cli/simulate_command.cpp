#include "app/cli/commands.h"
#include "app/cli/link_overrides.h"
#include "app/cli/peer_link.h"
#include "app/cli/simulator_session.h"
#include "app/cli/terminal_text.h"
#include "app/cli/trace_output.h"
#include "platform/stop_signal.h"
#include "scenario/rule_file.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

namespace tarvu::cli {
namespace {

constexpr const char* kSimulateFooter = R"(
A converter without the hardware: answers the packets it receives by the rules of RULES, tried
in order, first match wins. A rule file (# comments, one statement a line):

  listen 10002                  the UDP port (or: serial /dev/ttyUSB0 9600)
  frame on                      7E ... 7F frames with escapes
  key 00112233...               a GOST channel key: encrypted packets are decrypted before they
                                are matched, and every packet leaves encrypted
  to 127.0.0.1:10001            where every ... send goes before anyone has sent
  seed 7                        the faults draw the same way on every run
  limit 1000                    replies these rules would answer themselves (echoes, replies
                                that match a rule that answers) leave at most this many a
                                second, so that two simulators of one file cannot flood the
                                machine (1000 is the default); other replies are not limited
  loss 1%                       a fault for every packet that leaves
  on code=ca_RELOCK reply dev={dev} addr2=00 code=ma_RELOCK body={body} delay 20ms
  on 11 01 ?? 30 00 echo
  on dev=09 drop
  otherwise drop                what no rule matched (the default)
  every 5s send 11 01 00 30 10 60 {n} 00 D1

Patterns are bytes (?? any byte, 3? a half byte, a last * any rest) or fields (dev, addr2,
type, qual, code by value or catalogue name, body); a field left out matches anything. A reply
is bytes or fields and may copy from the packet it answers: {dev} {addr2} {type} {qual} {code}
{body} {packet}, bytes by offset {3} {3..} {3..5}, and count with {n} (1 byte) or {n:2}.
Faults, after a rule for its replies or alone for all: delay T, jitter T (the delay spreads by
up to T either way), loss P%, duplicate P%, reorder P% (held until the next packet has left),
corrupt P% (one bit flipped).

Standard output carries the trace as tarvu-cli echo writes it (with frames, the decoded frames
and the coded ones as "..." lines); standard error the port, the seed of the faults and, at
the end, how often each rule matched and what it sent.

Ends at Ctrl+C, SIGTERM or SIGHUP, with --count, or when the reader of standard output goes
away. Exit codes: 0 done; 2 the command line or the rule file is wrong (FILE:LINE:COLUMN and
the offending text); 3 the link could not be used (port taken, serial line missing); 141
standard output was closed by its reader.

Example (two terminals):
  tarvu-cli simulate examples/desk.rules --listen 10002
  tarvu-cli run examples/desk.scenario --to 127.0.0.1:10002 --listen 10001)";

struct SimulateOptions {
    std::string rulesFile;
    LinkOverrides link;
    std::optional<uint64_t> seed;
    std::optional<uint64_t> count;
    bool decode = false;
};

uint64_t ClockSeed() {
    return static_cast<uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
}

int RunSimulate(const SimulateOptions& options) {
    std::string text;
    std::string error;
    if (!ReadTextFile(options.rulesFile, text, error)) {
        PrintErrorLine("tarvu-cli simulate: %s: %s", options.rulesFile.c_str(), error.c_str());
        return kScriptUsage;
    }
    scenario::RuleSet rules;
    scenario::SourceError sourceError;
    if (!scenario::ParseRules(options.rulesFile, text, rules, sourceError)) {
        PrintErrorLine("tarvu-cli simulate: %s", scenario::FormatSourceError(sourceError).c_str());
        return kScriptUsage;
    }
    if (!ApplyLinkOverrides(options.link, rules.link, error)) {
        PrintErrorLine("tarvu-cli simulate: %s", error.c_str());
        return kScriptUsage;
    }
    if (!rules.link.listen && !rules.link.serial) {
        PrintErrorLine(
            "tarvu-cli simulate: no line to listen on: give listen PORT or serial DEVICE BAUD "
            "in %s, or --listen",
            options.rulesFile.c_str());
        return kScriptUsage;
    }

    InstallStopSignals();
    std::unique_ptr<PeerLink> link;
    if (rules.link.serial) {
        link = OpenSerialPeerLink(rules.link.serial->device, rules.link.serial->baudRate, error);
    } else {
        link = OpenUdpPeerLink(*rules.link.listen, error);
    }
    if (!link) {
        PrintErrorLine("tarvu-cli simulate: cannot listen on %s: %s",
                       rules.link.serial
                           ? rules.link.serial->device.c_str()
                           : ("UDP port " + std::to_string(*rules.link.listen)).c_str(),
                       error.c_str());
        return kScriptLinkUnusable;
    }

    SimulatorSettings settings;
    settings.frame = rules.link.frame.value_or(false);
    settings.key = rules.link.key;
    settings.to = rules.link.to;
    settings.serial = rules.link.serial.has_value();
    settings.decode = options.decode;
    settings.count = options.count;
    settings.seed = options.seed.value_or(rules.seed.value_or(ClockSeed()));
    PrintErrorLine("tarvu-cli simulate: listening on %s", link->Describe().c_str());
    bool faults = rules.faults.Any() || rules.otherwise.faults.Any();
    for (const scenario::Rule& rule : rules.rules) {
        faults = faults || rule.faults.Any();
    }
    if (faults) {
        // Said whenever there are faults, so that any run can be repeated.
        PrintErrorLine("tarvu-cli simulate: faults drawn from seed %llu",
                       static_cast<unsigned long long>(settings.seed));
    }
    std::fflush(stderr);

    // The loop never waits for standard output: a writer thread of its own takes the lines.
    TraceOutput traceOutput(kStandardOutput, TraceOutput::kDefaultCapacity, [] { RequestStop(); });
    SimulatorSession session(rules, *link, settings,
                             [&traceOutput](const std::string& line) { traceOutput.Append(line); });
    const bool linkHeld = session.Run([] { return StopRequested(); });
    const size_t unwritten =
        traceOutput.Finish([] { return StopRequested(); }, std::chrono::milliseconds(250));
    const std::string report = session.Report();
    std::fwrite(report.data(), 1, report.size(), stderr);
    if (unwritten > 0) {
        PrintErrorLine("tarvu-cli simulate: %zu trace line%s not written to standard output",
                       unwritten, unwritten == 1 ? "" : "s");
    }
    if (!linkHeld) {
        PrintErrorLine("tarvu-cli simulate: the line failed: %s", link->Describe().c_str());
        return kScriptLinkUnusable;
    }
    if (traceOutput.OutputClosed()) {
        PrintErrorLine("tarvu-cli simulate: standard output was closed; the simulator was ended");
        return kScriptOutputClosed;
    }
    return kScriptPassed;
}

}  // namespace

void RegisterSimulateCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<SimulateOptions>();
    auto* command = app.add_subcommand(
        "simulate",
        "A converter without the hardware: answers received packets by the rules of a file "
        "(patterns, replies, faults, periodic packets) and traces each one as echo does");
    command->footer(kSimulateFooter);
    command->add_option("RULES", options->rulesFile, "The rule file")->required();
    AddLinkOverrides(*command, options->link, "the first receiver of every ... send packets",
                     /*listenZero=*/true);
    command->add_option("--seed", options->seed,
                        "Seed of the faults' random draws; wins over the file's seed statement "
                        "(default: from the clock, said on standard error)");
    command
        ->add_option("--count", options->count,
                     "End after this many received datagrams (on a serial line with frames: "
                     "packets), once their answers have left")
        ->check(CLI::Range(uint64_t{1}, uint64_t{1000000000}));
    command->add_flag("--decode", options->decode,
                      "Below every packet a \"...= dev= addr2= type= qual= code= body=\" line "
                      "(of the decrypted packet when a key decrypts it)");
    command->callback([options, &exitCode] {
        exitCode = RunSimulate(*options);
        // Nothing to save: a console close waits no longer.
        StopCompleted();
    });
}

}  // namespace tarvu::cli
