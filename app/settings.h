#pragma once
// The application's settings file: where it is, and the operations the application uses on
// it. The path is chosen once; every operation reads or writes the file anew.

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

namespace tarvu {

// The inputs of the location rule, gathered from the system by CurrentSettingsLocation.
struct SettingsLocation {
    std::filesystem::path explicitFile;  // --settings FILE; empty when not given
    std::filesystem::path executableDirectory;
    bool executableDirectoryWritable = false;
    std::filesystem::path configHome;  // $XDG_CONFIG_HOME or ~/.config; may be empty
    bool installed = false;            // an installed copy (platform/installed_program.h)
};

// An explicit file wins (made absolute); then settings.ini beside the executable when that
// directory is writable; then <configHome>/tarvu/settings.ini. Without a config home the
// file beside the executable is used even though it cannot be written (reads still work and
// failed writes are ignored, as on a read-only installation). An installed copy never uses
// the executable's directory, not even as the superuser: <configHome>/tarvu/settings.ini, or
// no file at all (empty path: reads give nothing, writes fail) without a config home.
std::filesystem::path ChooseSettingsFile(const SettingsLocation& location);

SettingsLocation CurrentSettingsLocation(const std::filesystem::path& explicitFile);

enum class SaveResult {
    kUnchanged,  // the stored text already equals the value
    kWritten,
    kFailed,  // a write was needed and did not succeed
};

class Settings {
public:
    explicit Settings(std::filesystem::path file) : file_(std::move(file)) {}

    // Applies the location rule to the running program and creates the configuration
    // directory when the rule chooses it.
    static Settings Locate(const std::filesystem::path& explicitFile = {});

    const std::filesystem::path& File() const { return file_; }

    // Empty for a missing file, section or key; at most 259 characters.
    std::string Read(std::string_view section, std::string_view key) const;
    bool Write(std::string_view section, std::string_view key, std::string_view value) const;

    // Reads the key; when the text is empty, writes `defaultValue` (even an empty one) and
    // returns it. A failed write is not reported: the default is used all the same.
    std::string ReadWithDefault(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const;

    // Writes `value` unless the stored text equals it byte for byte.
    SaveResult SaveIfChanged(std::string_view section, std::string_view key,
                             std::string_view value) const;

private:
    std::filesystem::path file_;
};

}  // namespace tarvu
