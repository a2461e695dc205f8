#pragma once
// A file opened for appending. Each Write goes to the system whole, at the end of the file, so
// a crash of the program loses nothing written and two processes appending to one file never
// interleave within a line.

#include "platform/native_handle.h"

#include <string>
#include <string_view>

namespace tarvu {

class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens `path` (UTF-8) for appending, creating it when missing; never truncates. False
    // with `error` set ("PATH: reason") when the file cannot be opened or is not a regular file
    // or character device (a pipe would stall the writer).
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return handle_ != kInvalidNativeHandle; }
    // False when the file ended in the middle of a line when it was opened (a writer that
    // died or ran out of disk mid-line); true for an empty file or a device.
    bool OpenedAtLineStart() const { return openedAtLineStart_; }

    // Writes `text` whole. False with `error` set when the write fails or is short (a full
    // disk); the file stays open.
    bool Write(std::string_view text, std::string& error);

    void Close();

private:
    NativeHandle handle_ = kInvalidNativeHandle;
    bool openedAtLineStart_ = true;
    std::string path_;
};

}  // namespace tarvu
