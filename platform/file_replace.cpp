// The parts of the whole-file updates that need no system call; posix/ and win32/ hold the rest.
#include "platform/file_replace.h"

namespace tarvu {

bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes) {
    return UpdateFileContents(file, [bytes](std::string& contents) {
               contents.assign(bytes);
               return true;
           }) == FileUpdateStatus::kWritten;
}

}  // namespace tarvu
