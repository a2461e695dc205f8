#include "app/cli/link_overrides.h"

#include "platform/file_replace.h"
#include "scenario/values.h"

#include <filesystem>

namespace tarvu::cli {

void AddLinkOverrides(CLI::App& command, LinkOverrides& overrides, const std::string& peerRole,
                      bool listenZero) {
    command.add_option("--to", overrides.to,
                       "ADDRESS:PORT of " + peerRole + "; wins over the file's to statement");
    auto* listen =
        command
            .add_option("--listen", overrides.listen,
                        std::string("Local UDP port to receive on (and send from); wins over the "
                                    "file's listen statement") +
                            (listenZero ? "; 0: any free port" : ""))
            ->check(CLI::Range(listenZero ? 0 : 1, 65535));
    auto* serial = command.add_option(
        "--serial", overrides.serialDevice,
        "Serial line instead of UDP (e.g. /dev/ttyUSB0, raw 8N1); wins over the file's serial "
        "statement");
    auto* baud = command.add_option("--baud", overrides.baudRate, "Baud rate of the serial line")
                     ->check(CLI::Range(1u, 100000000u));
    serial->needs(baud);
    baud->needs(serial);
    serial->excludes(listen);
    auto* frame = command.add_flag_callback(
        "--frame", [&overrides] { overrides.frame = true; },
        "Frames on (7E ... 7F with escapes), whatever the file says");
    auto* noFrame = command.add_flag_callback(
        "--no-frame", [&overrides] { overrides.frame = false; },
        "Frames off, whatever the file says");
    frame->excludes(noFrame);
    command.add_option("--key", overrides.key,
                       "GOST channel key, 64 hex digits: packets leave encrypted and encrypted "
                       "packets are decrypted before they are matched; wins over the file's key");
}

bool ApplyLinkOverrides(const LinkOverrides& overrides, scenario::LinkSettings& link,
                        std::string& error) {
    scenario::Failure failure;
    if (!overrides.to.empty()) {
        scenario::Destination to;
        if (!scenario::ParseDestination(overrides.to, 0, to, failure)) {
            error = "--to: " + failure.message + ": \"" + overrides.to + "\"";
            return false;
        }
        link.to = to;
    }
    if (overrides.listen) {
        link.listen = static_cast<uint16_t>(*overrides.listen);
        link.serial.reset();
    }
    if (!overrides.serialDevice.empty()) {
        if (overrides.serialDevice.size() > scenario::kMaxSerialDevice) {
            error = "--serial: the device path has at most 127 bytes";
            return false;
        }
        link.serial = scenario::SerialLine{overrides.serialDevice, overrides.baudRate};
        link.listen.reset();
    }
    if (overrides.frame) {
        link.frame = overrides.frame;
    }
    if (!overrides.key.empty()) {
        std::array<uint8_t, 32> key = {};
        if (!scenario::ParseKey(overrides.key, 0, key, failure)) {
            error = "--key: " + failure.message;
            return false;
        }
        link.key = key;
    }
    return true;
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
    // The name is UTF-8; a path made from a plain string would read it in the system's ANSI
    // code page on Windows.
    const FileReadResult read =
        ReadWholeFile(std::filesystem::path(std::u8string(path.begin(), path.end())));
    switch (read.status) {
        case FileReadStatus::kOk:
            text = read.bytes;
            return true;
        case FileReadStatus::kMissing:
            error = "no such file";
            break;
        case FileReadStatus::kNotRegular:
            error = "not a regular file";
            break;
        case FileReadStatus::kError:
            error = "cannot be read";
            break;
    }
    return false;
}

}  // namespace tarvu::cli
