#pragma once
// A file written from its start: a new file, or a regular file whose old contents are
// replaced. Anything else under the name (a named pipe, a device, a terminal, a folder) is
// refused at once, without waiting for a reader, so that nothing the user names can stall the
// caller or mix binary data into a terminal. Names are UTF-8 on every system (wide names on
// Windows).

#include "platform/native_handle.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvu {

class CreatedFile {
public:
    CreatedFile() = default;
    ~CreatedFile();
    CreatedFile(const CreatedFile&) = delete;
    CreatedFile& operator=(const CreatedFile&) = delete;

    // Creates `path`, or empties the regular file there. False with `error` set ("PATH:
    // reason", "PATH: not a regular file").
    bool Create(const std::string& path, std::string& error);
    bool IsOpen() const { return handle_ != kInvalidNativeHandle; }

    // Writes `bytes` whole at the end of what was written. False with `error` set when the
    // write fails or is short (a full disk); what went out may be a part of `bytes`.
    bool Write(std::string_view bytes, std::string& error);

    // Cuts the file back to its first `size` bytes, so that later writes follow them.
    bool Truncate(uint64_t size, std::string& error);

    void Close();

private:
    NativeHandle handle_ = kInvalidNativeHandle;
    std::string path_;
};

}  // namespace tarvu
