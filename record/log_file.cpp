#include "record/log_file.h"

namespace tarvu {

bool LogFile::Open(const std::string& path, std::string& error) {
    if (!file_.Open(path, error)) {
        return false;
    }
    path_ = path;
    return true;
}

bool LogFile::Write(std::string_view text, std::string& error) {
    if (!file_.IsOpen()) {
        error = path_ + ": not open";
        return false;
    }
    return file_.Write(text, error);
}

}  // namespace tarvu
