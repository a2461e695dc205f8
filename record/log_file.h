#pragma once
// A log file opened for appending. Each line goes to the file with one write(2) on a file
// opened with O_APPEND, so it reaches the operating system as it is written (a crash of the
// program loses nothing written) and two processes appending to one file never interleave
// within a line.

#include <string>
#include <string_view>

namespace tarvu {

class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens (creating with mode 0666 less umask) for appending; never truncates. False with
    // `error` set ("PATH: reason") when the file cannot be opened or is not a regular file
    // or character device.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    // Writes `text` whole. False with `error` set when the write fails or is short (a full
    // disk); the file stays open.
    bool Write(std::string_view text, std::string& error);

    void Close();

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace tarvu
