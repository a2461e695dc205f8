#include "app/cli/commands.h"

#include <cstdio>

namespace tarvu::cli {

// Placeholder until the command is built.
void RegisterRsaCommand(CLI::App& app, int& exitCode) {
    app.add_subcommand("rsa", "(not built yet)")->callback([&exitCode] {
        std::fprintf(stderr, "tarvu-cli: rsa is not built yet\n");
        exitCode = 1;
    });
}

}  // namespace tarvu::cli
