#include "platform/app_paths.h"

#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvu {

std::filesystem::path ExecutableDirectory() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) {
        return {};
    }
    return exe.parent_path();
}

bool IsDirectoryWritable(const std::filesystem::path& directory) {
    std::error_code ec;
    if (directory.empty() || !std::filesystem::is_directory(directory, ec) ||
        ::access(directory.c_str(), W_OK | X_OK) != 0) {
        return false;
    }
    // access() grants the superuser everything, even where no file can be created (procfs),
    // so the answer is confirmed by creating and removing a file.
    const std::filesystem::path probe = directory / (".tarvu-probe-" + std::to_string(::getpid()));
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool IsFileWritable(const std::filesystem::path& file) {
    // The type is looked at before opening: opening a named pipe or a device could wait or
    // have effects of its own.
    struct stat st {};
    const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
    if (file.empty() || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        (st.st_mode & writeBits) == 0) {
        return false;
    }
    // Opening for writing changes nothing in the file and asks what access() would not
    // answer truthfully for the superuser (a read-only file system, for one).
    const int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
}

namespace {

// $HOME, else the password database's home of the effective user; empty without either.
std::filesystem::path HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] != '\0') {
        return found->pw_dir;
    }
    return {};
}

}  // namespace

std::filesystem::path UserConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const std::filesystem::path home = HomeDirectory();
    return home.empty() ? home : home / ".config";
}

std::filesystem::path WiresharkUserPluginFolder() {
    const std::filesystem::path home = HomeDirectory();
    return home.empty() ? home : home / ".local" / "lib" / "wireshark" / "plugins";
}

}  // namespace tarvu
