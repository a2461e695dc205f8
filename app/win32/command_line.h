#pragma once
// tarvu.exe's command line, the same options as the Linux dialog's:
//   tarvu [--settings FILE] [--debug] [--log FILE] [--pcap FILE] [--help] [--version]
// The arguments arrive as UTF-8 (converted from the system's UTF-16 command line).

#include <string>
#include <vector>

namespace tarvu::win32 {

struct Options {
    std::string settingsFile;  // empty: settings.ini in the usual place
    bool debug = false;        // debug output to standard error
    std::string logFile;       // empty: no log file
    std::string pcapFile;      // empty: no capture file
};

enum class CommandLineResult { kRun, kExitSuccess, kExitFailure };

// Parses the arguments (the program's name first). On kExitSuccess (--help, --version) and
// kExitFailure, `message` holds what to print.
CommandLineResult ParseCommandLine(const std::vector<std::string>& arguments, Options& options,
                                   std::string& message);

std::string HelpText();

}  // namespace tarvu::win32
