#pragma once
// The application's settings file: where it is, and the operations the application uses on
// it. The path is chosen once; every operation reads or writes the file anew.

#include "platform/profile_file.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace tarvu {

// The inputs of the location rule, gathered from the system by CurrentSettingsLocation.
struct SettingsLocation {
    std::filesystem::path explicitFile;  // --settings FILE; empty when not given
    std::filesystem::path executableDirectory;
    bool executableDirectoryWritable = false;
    bool executableFileWritable = false;  // settings.ini there exists and may be rewritten
    std::filesystem::path configHome;     // $XDG_CONFIG_HOME or ~/.config; may be empty
    bool installed = false;               // an installed copy (platform/installed_program.h)
};

// An explicit file wins (made absolute); then settings.ini beside the executable when that
// directory is writable or that file is (a file copied into a read-only folder is rewritten
// in place); then <configHome>/tarvu/settings.ini. Without a config home the file beside
// the executable is used even though it cannot be written (reads still work; the first
// failed write is reported, as on a read-only installation). An installed copy never uses
// the executable's directory, not even as the superuser: <configHome>/tarvu/settings.ini, or
// no file at all (empty path: reads give nothing, writes fail) without a config home.
std::filesystem::path ChooseSettingsFile(const SettingsLocation& location);

SettingsLocation CurrentSettingsLocation(const std::filesystem::path& explicitFile);

enum class SaveResult {
    kUnchanged,  // the stored text already equals the value
    kWritten,
    kFailed,  // a write was needed and did not succeed
};

// A settings file that cannot be read or written does not stop the program: it runs on the
// defaults. The first such trouble of the run is reported in a message box (captioned with
// the program's title); later ones are not, as every field would repeat it.
class Settings {
public:
    explicit Settings(std::filesystem::path file) : file_(std::move(file)) {}

    // Applies the location rule to the running program and creates the configuration
    // directory when the rule chooses it.
    static Settings Locate(const std::filesystem::path& explicitFile = {});

    const std::filesystem::path& File() const { return file_; }
    // The caption of the report; set before the first access.
    void SetMessageCaption(std::string caption) { caption_ = std::move(caption); }
    // A read-only file (a scenario run reads its defaults there and never writes): every write
    // is skipped, unreported, and counts as not written.
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

    // Empty for a missing file, section or key; at most 259 characters, except the stored
    // packet ("PACKETIK" in "UDP"), which is read whole up to the longest packet's text.
    std::string Read(std::string_view section, std::string_view key) const;
    // False when not written: the file's trouble is reported (once per run), an entry that
    // cannot be stored as given is not.
    bool Write(std::string_view section, std::string_view key, std::string_view value) const;

    // Reads the key; when the text is empty, writes `defaultValue` (even an empty one) and
    // returns it. A failed write is not reported: the default is used all the same.
    std::string ReadWithDefault(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const;

    // Writes `value` unless the stored text equals it byte for byte.
    SaveResult SaveIfChanged(std::string_view section, std::string_view key,
                             std::string_view value) const;

private:
    void ReportOnce(ProfileStatus status) const;

    std::filesystem::path file_;
    std::string caption_ = "tarvu";
    bool readOnly_ = false;
    // Shared by copies, which stand for the same file in the same run; set from any thread.
    std::shared_ptr<std::atomic<bool>> reported_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace tarvu
