#pragma once
// A log file opened for appending. Each line goes to the file with one write to a file opened
// for appending, so it reaches the operating system as it is written (a crash of the program
// loses nothing written) and two processes appending to one file never interleave within a
// line.

#include "platform/append_file.h"

#include <string>
#include <string_view>

namespace tarvu {

class LogFile {
public:
    // Opens (creating it when missing) for appending; never truncates. False with `error` set
    // ("PATH: reason") when the file cannot be opened or is not a regular file or character
    // device.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return file_.IsOpen(); }
    const std::string& Path() const { return path_; }

    // Writes `text` whole; the first write after opening a file whose last line was cut off
    // (a full disk, a crash) starts on a fresh line. False with `error` set when the write fails or
    // is short (a full disk); the file stays open.
    bool Write(std::string_view text, std::string& error);

    void Close() { file_.Close(); }

private:
    AppendFile file_;
    std::string path_;
    bool lineBreakOwed_ = false;
};

}  // namespace tarvu
