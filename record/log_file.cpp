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
        // One write, so that the break and the line reach the file together. Appended, not
        // `"\n" + std::string(text)`: GCC 12 at -O3 reports a false overlap (-Wrestrict) in
        // std::string for that (GCC bug 105329).
        std::string line(1, '\n');
        line.append(text);
        if (!file_.Write(line, error)) {
            return false;
        }
        lineBreakOwed_ = false;
        return true;
    }
    return file_.Write(text, error);
}

}  // namespace tarvu
