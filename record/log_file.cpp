#include "record/log_file.h"

#include "record/folder_path.h"

namespace tarvu {

bool LogFile::Open(const std::string& path, std::string& error) {
    if (IsStandardStreamName(path, error) || !file_.Open(path, error)) {
        return false;
    }
    path_ = path;
    lineBreakOwed_ = !file_.OpenedAtLineStart();
    return true;
}

bool LogFile::Write(std::string_view text, std::string& error) {
    if (!file_.IsOpen()) {
        error = path_ + ": not open";
        return false;
    }
    if (lineBreakOwed_) {
        // One write, so that the break and the line reach the file together.
        if (!file_.Write("\n" + std::string(text), error)) {
            return false;
        }
        lineBreakOwed_ = false;
        return true;
    }
    return file_.Write(text, error);
}

}  // namespace tarvu
