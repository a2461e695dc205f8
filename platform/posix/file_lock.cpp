#include "platform/file_lock.h"

#include <algorithm>
#include <cerrno>
#include <sys/file.h>
#include <thread>

namespace tarvu {

bool LockOpenFile(int fd, FileLockKind kind, std::chrono::milliseconds patience) {
    const int operation = (kind == FileLockKind::kShared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (::flock(fd, operation) == 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // Holders keep the lock for one read or one rewrite of a small file: short naps.
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

}  // namespace tarvu
