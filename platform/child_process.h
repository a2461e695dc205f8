#pragma once
// Runs another program with its standard output and error sent to files, for end-to-end
// tests of the command-line programs.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarvu {

class ChildProcess {
public:
    ChildProcess() = default;
    // A child still running is killed and reaped.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with `arguments` (without the program name). Returns false when the
    // program cannot be started.
    bool Start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& standardOutput,
               const std::filesystem::path& standardError);

    // Waits up to `timeoutMs` for the end. The exit code, or 128 + the signal number for a
    // program ended by a signal; nothing while it still runs.
    std::optional<int> Wait(int timeoutMs);

    // SIGINT and SIGTERM, as Ctrl+C and a service manager send them. On Windows both set
    // the program's stop event (see stop_signal.h), which a program that installed its stop
    // handling treats as either signal.
    void Interrupt();
    void Terminate();
    // SIGHUP, as a closed terminal sends it.
    void Hangup();

private:
#ifdef _WIN32
    void* process_ = nullptr;  // the process handle
    unsigned long processId_ = 0;
#else
    int pid_ = -1;
#endif
    std::optional<int> status_;
};

}  // namespace tarvu
