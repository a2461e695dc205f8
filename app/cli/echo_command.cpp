#include "app/cli/commands.h"

#include <cstdio>

namespace tarvu::cli {

// Placeholder until the command is built.
void RegisterEchoCommand(CLI::App& app, int& exitCode) {
    app.add_subcommand("echo", "(not built yet)")->callback([&exitCode] {
        std::fprintf(stderr, "tarvu-cli: echo is not built yet\n");
        exitCode = 1;
    });
}

}  // namespace tarvu::cli
