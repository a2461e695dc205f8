#include "app/settings.h"

#include "app/settings_keys.h"
#include "platform/app_paths.h"
#include "platform/installed_program.h"
#include "platform/message_box.h"
#include "platform/profile_file.h"

#include <system_error>

namespace tarvu {
namespace {

constexpr std::string_view kFileName = "settings.ini";
constexpr std::string_view kConfigFolder = "tarvu";

// The text of the longest packet, 512 bytes as "XX" groups with blanks between them.
constexpr size_t kPacketTextLimit = 512 * 3;

size_t ValueLimit(std::string_view section, std::string_view key) {
    return section == kSectionUdp && key == kKeyPacket ? kPacketTextLimit : kProfileValueLimit;
}

}  // namespace

std::filesystem::path ChooseSettingsFile(const SettingsLocation& location) {
    if (!location.explicitFile.empty()) {
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(location.explicitFile, ec);
        return ec ? location.explicitFile : absolute;
    }
    if (location.installed) {
        return location.configHome.empty() ? std::filesystem::path()
                                           : location.configHome / kConfigFolder / kFileName;
    }
    if (location.executableDirectoryWritable || location.executableFileWritable ||
        location.configHome.empty()) {
        return location.executableDirectory / kFileName;
    }
    return location.configHome / kConfigFolder / kFileName;
}

SettingsLocation CurrentSettingsLocation(const std::filesystem::path& explicitFile) {
    SettingsLocation location;
    location.explicitFile = explicitFile;
    if (!explicitFile.empty()) {
        return location;
    }
    location.executableDirectory = ExecutableDirectory();
    location.installed = IsInstalledProgram(location.executableDirectory);
    // The writability probe creates a file, which an installed copy must not do in /usr/bin.
    location.executableDirectoryWritable =
        !location.installed && IsDirectoryWritable(location.executableDirectory);
    location.executableFileWritable = !location.installed &&
                                      !location.executableDirectory.empty() &&
                                      IsFileWritable(location.executableDirectory / kFileName);
    location.configHome = UserConfigHome();
    return location;
}

Settings Settings::Locate(const std::filesystem::path& explicitFile) {
    const SettingsLocation location = CurrentSettingsLocation(explicitFile);
    std::filesystem::path file = ChooseSettingsFile(location);
    if (explicitFile.empty() && !file.empty() &&
        file.parent_path() != location.executableDirectory) {
        // A failure shows later as failed writes, which the application tolerates.
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
    }
    return Settings(std::move(file));
}

std::string Settings::Read(std::string_view section, std::string_view key) const {
    ProfileRead read = ReadProfileEntry(file_, section, key, ValueLimit(section, key));
    if (read.status != ProfileStatus::kOk && read.status != ProfileStatus::kMissing) {
        ReportOnce(read.status);
    }
    return std::move(read.value);
}

bool Settings::Write(std::string_view section, std::string_view key, std::string_view value) const {
    if (readOnly_) {
        return false;
    }
    const ProfileStatus status = WriteProfileEntry(file_, section, key, value);
    if (status != ProfileStatus::kOk && status != ProfileStatus::kRefusedEntry) {
        ReportOnce(status);
    }
    return status == ProfileStatus::kOk;
}

void Settings::ReportOnce(ProfileStatus status) const {
    if (reported_->exchange(true)) {
        return;
    }
    const std::string file = file_.string();
    std::string text;
    switch (status) {
        case ProfileStatus::kNotRegular:
            text = "Файл настроек " + file +
                   " не обычный файл: настройки не прочитаны и не будут сохранены";
            break;
        case ProfileStatus::kUnreadable:
            text = "Не удалось прочитать файл настроек " + file +
                   ": действуют значения по умолчанию, настройки не будут сохранены";
            break;
        default: {
            // A folder that is not there is the likely cause for a file named by --settings.
            std::error_code ec;
            const std::filesystem::path folder = file_.parent_path();
            if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
                text =
                    "Не удалось сохранить настройки в " + file + ": нет папки " + folder.string();
            } else {
                text = "Не удалось сохранить настройки в " + file + " (нет доступа на запись?)";
            }
            break;
        }
    }
    ShowMessageBox(caption_, text);
}

std::string Settings::ReadWithDefault(std::string_view section, std::string_view key,
                                      std::string_view defaultValue) const {
    std::string text = Read(section, key);
    if (text.empty()) {
        Write(section, key, defaultValue);
        text = defaultValue;
    }
    return text;
}

SaveResult Settings::SaveIfChanged(std::string_view section, std::string_view key,
                                   std::string_view value) const {
    if (Read(section, key) == value) {
        return SaveResult::kUnchanged;
    }
    return Write(section, key, value) ? SaveResult::kWritten : SaveResult::kFailed;
}

}  // namespace tarvu
