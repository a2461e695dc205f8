// tarvu-cli dissector install|print: the Wireshark dissector that the program carries, put
// where Wireshark looks for a user's own plugins, or written to standard output.

#include "app/cli/commands.h"
#include "app/cli/terminal_text.h"
#include "platform/app_paths.h"
#include "platform/file_replace.h"
#include "wireshark/dissector_lua.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

namespace tarvu::cli {
namespace {

constexpr const char* kFileName = "tarvu.lua";

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

int RunInstall(const std::string& folderOption) {
    const std::string lua = DissectorLua();
    if (lua.empty()) {
        PrintErrorLine("tarvu-cli dissector: this build carries no dissector");
        return 1;
    }
    // The option is UTF-8; a path made from a plain string would read it in the ANSI code
    // page on Windows.
    const std::filesystem::path folder =
        folderOption.empty()
            ? WiresharkUserPluginFolder()
            : std::filesystem::path(std::u8string(folderOption.begin(), folderOption.end()));
    if (folder.empty()) {
        PrintErrorLine(
            "tarvu-cli dissector: no home folder to find Wireshark's plugin folder in; name "
            "one with --folder");
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        PrintErrorLine("tarvu-cli dissector: cannot create the folder %s: %s", Utf8(folder).c_str(),
                       error.message().c_str());
        return 1;
    }
    const std::filesystem::path file = folder / kFileName;
    const FileUpdateStatus status = UpdateFileContents(file, [&lua](std::string& bytes) {
        bytes = lua;
        return true;
    });
    switch (status) {
        case FileUpdateStatus::kWritten:
            break;
        case FileUpdateStatus::kNotRegular:
            PrintErrorLine("tarvu-cli dissector: %s is not a regular file; nothing was written",
                           Utf8(file).c_str());
            return 1;
        default:
            PrintErrorLine("tarvu-cli dissector: cannot write %s", Utf8(file).c_str());
            return 1;
    }
    std::printf("tarvu-cli dissector: installed %s\n", EscapeControls(Utf8(file)).c_str());
    std::printf("Wireshark and tshark load it when they next start (display filter \"tarvu\").\n");
    return 0;
}

int RunPrint() {
    const std::string lua = DissectorLua();
    if (lua.empty()) {
        PrintErrorLine("tarvu-cli dissector: this build carries no dissector");
        return 1;
    }
    if (std::fwrite(lua.data(), 1, lua.size(), stdout) != lua.size() || std::fflush(stdout) != 0) {
        PrintErrorLine("tarvu-cli dissector: could not write to standard output");
        return 1;
    }
    return 0;
}

}  // namespace

void RegisterDissectorCommand(CLI::App& app, int& exitCode) {
    auto* dissector = app.add_subcommand(
        "dissector",
        "The Wireshark dissector of the link protocol (\"Tarvu link\", display filter tarvu), "
        "which this program carries");
    dissector->require_subcommand(1);
    dissector->footer(
        "Examples:\n"
        "  tarvu-cli dissector install\n"
        "  tarvu-cli dissector print > tarvu.lua\n"
        "Wireshark takes UDP port 10001 (preference tarvu.port), any port with Decode As "
        "(-d udp.port==N,tarvu) and any datagram that starts with a frame (7E ... 7F).");

    auto folder = std::make_shared<std::string>();
    auto* install = dissector->add_subcommand(
        "install",
        "Write tarvu.lua into your own Wireshark plugin folder, where Wireshark and tshark find "
        "it at their next start: ~/.local/lib/wireshark/plugins on Linux, "
        "%APPDATA%\\Wireshark\\plugins on Windows. An older copy there is replaced");
    install
        ->add_option("--folder", *folder,
                     "Another folder to write tarvu.lua to (made when missing)")
        ->type_name("DIR");
    install->footer(
        "Example:\n"
        "  tarvu-cli dissector install\n"
        "  tshark -r session.pcap -d udp.port==10002,tarvu\n"
        "Exit code 1 when the folder cannot be made or the file cannot be written.");
    install->callback([&exitCode, folder] { exitCode = RunInstall(*folder); });

    auto* print = dissector->add_subcommand(
        "print", "Write tarvu.lua to standard output, e.g. for wireshark -X lua_script:FILE");
    print->footer(
        "Example:\n"
        "  tarvu-cli dissector print > tarvu.lua\n"
        "  wireshark -X lua_script:tarvu.lua session.pcap");
    print->callback([&exitCode] { exitCode = RunPrint(); });
}

}  // namespace tarvu::cli
