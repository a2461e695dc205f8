#include "app/win32/command_line.h"

#include "tarvu_build_info.h"

#include <optional>
#include <string_view>

namespace tarvu::win32 {
namespace {

enum class Takes { kNothing, kFile };

struct OptionRule {
    std::string_view name;
    Takes takes;
};

constexpr OptionRule kOptions[] = {
    {"settings", Takes::kFile},
    {"debug", Takes::kNothing},
    {"log", Takes::kFile},
    {"pcap", Takes::kFile},
};

std::optional<OptionRule> FindOption(std::string_view name) {
    for (const OptionRule& option : kOptions) {
        if (option.name == name) {
            return option;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string HelpText() {
    return "Usage: tarvu [options]\n"
           "Tarvu: test client for the GPRS connection of alarm-system converters.\n"
           "\n"
           "Options:\n"
           "  -?, -h, --help     Displays help on commandline options.\n"
           "  -v, --version      Displays version information.\n"
           "  --settings <FILE>  Settings file to use instead of settings.ini (beside\n"
           "                     tarvu.exe, or %APPDATA%\\tarvu\\settings.ini for a copy\n"
           "                     installed under Program Files).\n"
           "  --debug            Write debug output to standard error.\n"
           "  --log <FILE>       Append the session to this file: a header line, then\n"
           "                     every trace line.\n"
           "  --pcap <FILE>      Write every UDP datagram sent and received to this pcap\n"
           "                     capture file.\n";
}

CommandLineResult ParseCommandLine(const std::vector<std::string>& arguments, Options& options,
                                   std::string& message) {
    bool help = false;
    bool version = false;
    std::vector<std::string> positional;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help" || argument == "-?" || argument == "/?") {
            help = true;
            continue;
        }
        if (argument == "-v" || argument == "--version") {
            version = true;
            continue;
        }
        if (argument.size() < 3 || argument.compare(0, 2, "--") != 0) {
            if (!argument.empty() && argument[0] == '-' && argument != "-") {
                message = "Unknown option '" + argument.substr(1) + "'.\n" + HelpText();
                return CommandLineResult::kExitFailure;
            }
            positional.push_back(argument);
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string name =
            argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const std::optional<OptionRule> option = FindOption(name);
        if (!option) {
            message = "Unknown option '" + name + "'.\n" + HelpText();
            return CommandLineResult::kExitFailure;
        }
        std::string value;
        if (option->takes == Takes::kFile) {
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                message = "Missing value after '--" + name + "'.\n" + HelpText();
                return CommandLineResult::kExitFailure;
            }
        } else if (equals != std::string::npos) {
            message = "Unexpected value after '--" + name + "'.\n" + HelpText();
            return CommandLineResult::kExitFailure;
        }
        if (name == "settings") {
            if (value.empty()) {
                message = "--settings needs a file name\n";
                return CommandLineResult::kExitFailure;
            }
            options.settingsFile = value;
        } else if (name == "debug") {
            options.debug = true;
        } else if (name == "log") {
            options.logFile = value;
        } else if (name == "pcap") {
            options.pcapFile = value;
        }
    }
    if (help) {
        message = HelpText();
        return CommandLineResult::kExitSuccess;
    }
    if (version) {
        message = "tarvu " TARVU_VERSION "\n" TARVU_COPYRIGHT_LINE "\n" TARVU_LICENSE_LINE "\n";
        return CommandLineResult::kExitSuccess;
    }
    if (!positional.empty()) {
        message = "Unexpected argument: " + positional.front() + "\n" + HelpText();
        return CommandLineResult::kExitFailure;
    }
    return CommandLineResult::kRun;
}

}  // namespace tarvu::win32
