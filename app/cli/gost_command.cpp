#include "app/cli/commands.h"

#include <cstdio>

namespace tarvu::cli {

// Placeholder until the command is built.
void RegisterGostCommand(CLI::App& app, int& exitCode) {
    app.add_subcommand("gost", "(not built yet)")->callback([&exitCode] {
        std::fprintf(stderr, "tarvu-cli: gost is not built yet\n");
        exitCode = 1;
    });
}

}  // namespace tarvu::cli
