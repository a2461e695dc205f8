#pragma once
// tarvu-cli simulate as a peer for the end-to-end tests of run, simulate and --repeat.

#include "client_test_support.h"

#include <string>
#include <vector>

namespace tarvu::testing {

inline void WriteFile(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
}

// Writes `rules` (without a listen statement) to a file in `dir` and starts the simulator on a
// free port, waited for until it listens; output in <name>.out and <name>.err.
struct SimulatorPeer {
    SimulatorPeer(const TempDirectory& dir, const std::string& rules,
                  const std::string& name = "sim", std::vector<std::string> extra = {})
        : port(FreeUdpPort()), out(dir / (name + ".out")), err(dir / (name + ".err")) {
        const std::filesystem::path file = dir / (name + ".rules");
        WriteFile(file, "listen " + std::to_string(port) + "\n" + rules);
        std::vector<std::string> arguments = {"simulate", file.string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        started =
            child.Start(TARVU_CLI_PATH, arguments, out, err) && WaitForText(err, "listening", 5000);
    }
    // Ends the simulator as Ctrl+C would and returns its exit code.
    int Stop() {
        child.Interrupt();
        return child.Wait(5000).value_or(-1);
    }
    uint16_t port;
    std::filesystem::path out;
    std::filesystem::path err;
    ChildProcess child;
    bool started = false;
};

}  // namespace tarvu::testing
