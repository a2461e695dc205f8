#include "platform/output_stream.h"

#include <chrono>
#include <io.h>
#include <mutex>
#include <thread>
#include <windows.h>

namespace tarvu {

// Windows has no non-blocking writes to a console or an anonymous pipe. A write goes to the
// system as it is and may wait there; Interrupt cancels it with CancelSynchronousIo on the
// thread that waits, so the writer can always be ended. The timeout is not needed then.
struct OutputStream::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::mutex mutex;
    HANDLE writer = nullptr;  // the thread inside WriteFile, while it is there
    bool interrupted = false;
};

OutputStream::OutputStream(int fd) : state_(std::make_unique<State>()) {
    state_->handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

OutputStream::~OutputStream() = default;

void OutputStream::Interrupt() {
    // The writer may be between taking its turn and entering WriteFile, where a cancel finds
    // nothing to cancel: it is repeated until the writer is out (for a few seconds at most).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->interrupted = true;
    while (state_->writer != nullptr && std::chrono::steady_clock::now() < deadline) {
        ::CancelSynchronousIo(state_->writer);
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        lock.lock();
    }
}

long OutputStream::WriteSome(const char* data, size_t size, int /*timeoutMs*/) {
    HANDLE self = nullptr;
    {
        const std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->interrupted || state_->handle == INVALID_HANDLE_VALUE) {
            return -1;
        }
        self = ::OpenThread(THREAD_TERMINATE, FALSE, ::GetCurrentThreadId());
        state_->writer = self;
    }
    const DWORD chunk = size > (DWORD{1} << 20) ? (DWORD{1} << 20) : static_cast<DWORD>(size);
    DWORD written = 0;
    const BOOL ok = ::WriteFile(state_->handle, data, chunk, &written, nullptr);
    const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    {
        const std::lock_guard<std::mutex> lock(state_->mutex);
        state_->writer = nullptr;
    }
    if (self != nullptr) {
        ::CloseHandle(self);
    }
    if (ok) {
        return static_cast<long>(written);
    }
    // The reading end of the pipe is closed (ERROR_NO_DATA: it is being closed).
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ? kOutputClosed : -1;
}

}  // namespace tarvu
