// tarvu-cli: the command-line twin of the Tarvu dialog, and engineer's tools beside it.

#include "app/cli/client_mode.h"
#include "app/cli/commands.h"
#include "app/cli/terminal_text.h"
#include "platform/console.h"
#include "tarvu_build_info.h"

#include <iostream>
#include <sstream>
#include <string_view>

int main(int argc, char** argv) {
    tarvu::PrepareConsole(argc, argv);
    CLI::App app{
        "Tarvu command-line client: send link packets to a converter over UDP and trace every "
        "byte both ways, or use the engineer's tools below."};
    app.set_version_flag(
        "--version", "tarvu-cli " TARVU_VERSION "\n" TARVU_COPYRIGHT_LINE "\n" TARVU_LICENSE_LINE);
    int exitCode = 0;
    tarvu::cli::ClientOptions clientOptions;
    tarvu::cli::AddClientOptions(app, clientOptions);
    tarvu::cli::RegisterFrameCommand(app, exitCode);
    tarvu::cli::RegisterDescribeCommand(app, exitCode);
    tarvu::cli::RegisterGostCommand(app, exitCode);
    tarvu::cli::RegisterRsaCommand(app, exitCode);
    tarvu::cli::RegisterEchoCommand(app, exitCode);
    tarvu::cli::RegisterDissectorCommand(app, exitCode);
    tarvu::cli::RegisterSimulateCommand(app, exitCode);
    tarvu::cli::RegisterRunCommand(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version exit 0; every parse error is a usage error, exit 2. Errors quote
        // the arguments, so their control bytes are escaped before they reach the terminal.
        std::ostringstream errors;
        const int code = app.exit(e, std::cout, errors);
        std::cerr << tarvu::cli::EscapeControls(errors.str(), /*keepLineEnds=*/true);
        std::cerr.flush();
        return code == 0 ? 0 : 2;
    }
    if (app.get_subcommands().empty()) {
        // No subcommand: the client itself. Its message boxes carry the program's name.
        std::string_view title = argc > 0 ? argv[0] : "tarvu-cli";
        if (const size_t slash = title.rfind('/'); slash != std::string_view::npos) {
            title.remove_prefix(slash + 1);
        }
        return tarvu::cli::RunClient(clientOptions, std::string(title));
    }
    return exitCode;
}
