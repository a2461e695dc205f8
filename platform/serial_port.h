#pragma once
// A serial line on a tty device (a USB adapter, a built-in port, a pseudo-terminal), opened
// exclusively in non-blocking mode as a raw 8N1 line without flow control, DTR and RTS raised.
//
// Reception is event driven through the completion port: WaitEvent arms a readiness wait on
// the line, and after its completion Read takes what waits. Write blocks the calling thread
// until the line has taken the bytes, for at most 19200 / baud milliseconds per byte (no
// limit above 19200 baud), or until CancelWrites.

#include "platform/completion_port.h"
#include "platform/native_handle.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvu {

// The line settings the kernel holds for an open line.
struct SerialLineSettings {
    uint32_t baudRate = 0;
    int dataBits = 0;
    bool parity = false;
    int stopBits = 0;
    bool hardwareFlowControl = false;
    bool softwareFlowControl = false;
    bool raw = false;  // no line editing, echo, signals or byte translation
};

class cnsSerialPort {
public:
    cnsSerialPort() = default;
    // Closes the line.
    virtual ~cnsSerialPort();
    cnsSerialPort(const cnsSerialPort&) = delete;
    cnsSerialPort& operator=(const cnsSerialPort&) = delete;

    // Opens `name` (a device path, used as given) at `baudRate`. Standard rates use the
    // termios constants, any other rate the kernel's arbitrary-rate interface. 1 on success;
    // 0 on failure, with nothing left open and the reason in LastError() ("name: reason").
    int Open(const char* name, uint32_t baudRate);
    void Close();

    bool IsOpen() const { return fd_ != kClosed; }
    // The descriptor, for association with a completion port; -1 when closed.
    NativeHandle Handle() const { return fd_; }
    uint32_t BaudRate() const { return baudRate_; }
    const std::string& LastError() const { return lastError_; }
    // The line's settings as the kernel holds them; false when closed.
    bool QuerySettings(SerialLineSettings* out) const;

    // Arms one readiness wait with `op` on `port` (the line must be associated with it): it
    // completes with 0 bytes when characters wait or the line hangs up. 1 when a wait is
    // outstanding afterwards (also when one already was: one wait is all reception needs;
    // `op` is then not used), 0 when the line is closed or the port refuses.
    int WaitEvent(CompletionPort& port, Overlapped* op);
    // Called for the completion of the outstanding wait: the next WaitEvent arms a new one.
    void ForgetWaitEvent() { waitOutstanding_ = false; }
    bool WaitOutstanding() const { return waitOutstanding_.load(); }

    // Characters in the input queue; -1 when the line cannot tell (closed, hung up).
    long QueuedBytes() const;
    // Reads at most `count` bytes that wait: the number read, 0 when nothing waits, -1 when
    // the line is gone (hang-up, end of file, any other error).
    long Read(uint8_t* buffer, size_t count);
    // Writes all `n` bytes: 1 done; 0 when the line is closed, fails, the write time-out ran
    // out or writes were cancelled (some bytes may have left by then).
    int Write(const uint8_t* data, size_t n);
    // Makes a blocked Write return 0 at once, and every later one; any thread.
    void CancelWrites();

    // Milliseconds per byte allowed for a write: 19200 / baud rate, integer division.
    static uint32_t WriteTimeoutMultiplier(uint32_t baudRate);

private:
    bool Fail(const std::string& what, int error);
    bool ApplySettings(uint32_t baudRate);
    bool RaiseModemLines();

#ifdef _WIN32
    static constexpr NativeHandle kClosed = ~NativeHandle{0};  // INVALID_HANDLE_VALUE
    NativeHandle fd_ = kClosed;
    void* cancelEvent_ = nullptr;  // manual-reset event, signalled once writes are cancelled
#else
    static constexpr NativeHandle kClosed = -1;
    int fd_ = -1;
    int cancelFd_ = -1;       // eventfd, readable once writes are cancelled
    bool exclusive_ = false;  // this port set the line's exclusive mode and clears it on close
#endif
    uint32_t baudRate_ = 0;
    std::string name_;
    std::atomic<bool> waitOutstanding_{false};
    std::atomic<bool> cancelled_{false};
    std::string lastError_;
};

}  // namespace tarvu
