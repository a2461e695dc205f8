#pragma once
// Each tarvu-cli subcommand registers itself on the top-level CLI11 application.
// A subcommand's callback stores its exit code in `exitCode`.

#include <CLI/CLI.hpp>

namespace tarvu::cli {

void RegisterFrameCommand(CLI::App& app, int& exitCode);
void RegisterDescribeCommand(CLI::App& app, int& exitCode);
void RegisterGostCommand(CLI::App& app, int& exitCode);
void RegisterRsaCommand(CLI::App& app, int& exitCode);
void RegisterEchoCommand(CLI::App& app, int& exitCode);
void RegisterDissectorCommand(CLI::App& app, int& exitCode);
void RegisterSimulateCommand(CLI::App& app, int& exitCode);
void RegisterRunCommand(CLI::App& app, int& exitCode);

}  // namespace tarvu::cli
