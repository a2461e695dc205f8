#include "platform/serial_port.h"

#include "platform/win32/system_text.h"

#include <string>
#include <windows.h>

namespace tarvu {
namespace {

constexpr uint32_t kWriteTimeoutBase = 19200;
constexpr DWORD kInputQueue = 32768;
constexpr DWORD kOutputQueue = 4096;

HANDLE AsHandle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// An event for a read or write that must not reach the completion port the handle is
// associated with: the low bit of hEvent set keeps the system from queuing its completion.
class PrivateOperation {
public:
    PrivateOperation() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        overlapped_.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(event_) | 1);
    }
    ~PrivateOperation() {
        if (event_ != nullptr) {
            ::CloseHandle(event_);
        }
    }
    PrivateOperation(const PrivateOperation&) = delete;
    PrivateOperation& operator=(const PrivateOperation&) = delete;
    bool Valid() const { return event_ != nullptr; }
    OVERLAPPED* Get() { return &overlapped_; }
    HANDLE Event() const { return event_; }

private:
    HANDLE event_;
    OVERLAPPED overlapped_{};
};

}  // namespace

cnsSerialPort::~cnsSerialPort() {
    Close();
}

uint32_t cnsSerialPort::WriteTimeoutMultiplier(uint32_t baudRate) {
    return baudRate == 0 ? 0 : kWriteTimeoutBase / baudRate;
}

bool cnsSerialPort::Fail(const std::string& what, int error) {
    lastError_ = name_.empty() ? "serial line" : name_;
    if (!what.empty()) {
        lastError_ += ": ";
        lastError_ += what;
    }
    if (error != 0) {
        lastError_ += ": ";
        lastError_ += SystemErrorText(static_cast<unsigned long>(error), "error");
    }
    Close();
    return false;
}

int cnsSerialPort::Open(const char* name, uint32_t baudRate) {
    Close();
    baudRate_ = baudRate;
    lastError_.clear();
    cancelled_ = false;
    name_ = name != nullptr ? name : "";
    if (name == nullptr || name[0] == '\0') {
        Fail("no device name", 0);
        return 0;
    }
    if (baudRate == 0) {
        Fail("baud rate 0", 0);
        return 0;
    }
    // The name goes to the system as given: "COM3" or "\\.\COM12".
    HANDLE handle = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Fail("", static_cast<int>(::GetLastError()));
        return 0;
    }
    fd_ = reinterpret_cast<NativeHandle>(handle);
    if (!::SetCommMask(handle, EV_RXCHAR)) {
        Fail("SetCommMask", static_cast<int>(::GetLastError()));
        return 0;
    }
    if (!::SetupComm(handle, kInputQueue, kOutputQueue)) {
        Fail("SetupComm", static_cast<int>(::GetLastError()));
        return 0;
    }
    if (!::PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
        Fail("PurgeComm", static_cast<int>(::GetLastError()));
        return 0;
    }
    if (!ApplySettings(baudRate) || !RaiseModemLines()) {
        return 0;
    }
    cancelEvent_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (cancelEvent_ == nullptr) {
        Fail("CreateEvent", static_cast<int>(::GetLastError()));
        return 0;
    }
    return 1;
}

bool cnsSerialPort::ApplySettings(uint32_t baudRate) {
    HANDLE handle = AsHandle(fd_);
    // A read returns at once with what is buffered; a write may take 19200 / baud ms a byte.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = WriteTimeoutMultiplier(baudRate);
    timeouts.WriteTotalTimeoutConstant = 0;
    if (!::SetCommTimeouts(handle, &timeouts)) {
        return Fail("SetCommTimeouts", static_cast<int>(::GetLastError()));
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb)) {
        return Fail("GetCommState", static_cast<int>(::GetLastError()));
    }
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    if (!::SetCommState(handle, &dcb)) {
        return Fail("baud rate " + std::to_string(baudRate), static_cast<int>(::GetLastError()));
    }
    return true;
}

bool cnsSerialPort::RaiseModemLines() {
    // DTR first, then RTS. Lines without modem control (some virtual ports, a Wine COM port on
    // a pseudo-terminal) refuse the request as unsupported; they are used without it.
    for (const DWORD line : {static_cast<DWORD>(SETDTR), static_cast<DWORD>(SETRTS)}) {
        if (!::EscapeCommFunction(AsHandle(fd_), line)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION) {
                return Fail(line == SETDTR ? "raising DTR" : "raising RTS",
                            static_cast<int>(error));
            }
        }
    }
    return true;
}

void cnsSerialPort::Close() {
    if (cancelEvent_ != nullptr) {
        ::CloseHandle(cancelEvent_);
        cancelEvent_ = nullptr;
    }
    if (fd_ != kClosed) {
        ::CloseHandle(AsHandle(fd_));
        fd_ = kClosed;
    }
    waitOutstanding_ = false;
}

bool cnsSerialPort::QuerySettings(SerialLineSettings* out) const {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (out == nullptr || fd_ == kClosed || !::GetCommState(AsHandle(fd_), &dcb)) {
        return false;
    }
    out->baudRate = dcb.BaudRate;
    out->dataBits = dcb.ByteSize;
    out->parity = dcb.Parity != NOPARITY;
    out->stopBits = dcb.StopBits == ONESTOPBIT ? 1 : 2;
    out->hardwareFlowControl = dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
    out->softwareFlowControl = dcb.fOutX != 0 || dcb.fInX != 0;
    out->raw = dcb.fBinary != 0;  // Windows lines never edit or translate bytes
    return true;
}

int cnsSerialPort::WaitEvent(CompletionPort& port, Overlapped* op) {
    if (fd_ == kClosed) {
        return 0;
    }
    if (waitOutstanding_.exchange(true)) {
        return 1;
    }
    // WaitCommEvent with the line's EV_RXCHAR mask, completing through the port.
    if (port.PostReadiness(fd_, op) != 1) {
        waitOutstanding_ = false;
        return 0;
    }
    return 1;
}

long cnsSerialPort::QueuedBytes() const {
    DWORD errors = 0;
    COMSTAT status{};
    if (fd_ == kClosed || !::ClearCommError(AsHandle(fd_), &errors, &status)) {
        return -1;
    }
    return static_cast<long>(status.cbInQue);
}

long cnsSerialPort::Read(uint8_t* buffer, size_t count) {
    if (fd_ == kClosed || buffer == nullptr) {
        return -1;
    }
    if (count == 0) {
        return 0;
    }
    PrivateOperation read;
    if (!read.Valid()) {
        return -1;
    }
    DWORD got = 0;
    // With the read interval at MAXDWORD the read returns at once with what is buffered.
    if (!::ReadFile(AsHandle(fd_), buffer, static_cast<DWORD>(count), &got, read.Get())) {
        if (::GetLastError() != ERROR_IO_PENDING ||
            !::GetOverlappedResult(AsHandle(fd_), read.Get(), &got, TRUE)) {
            DWORD errors = 0;
            ::ClearCommError(AsHandle(fd_), &errors, nullptr);
            return -1;
        }
    }
    return static_cast<long>(got);
}

int cnsSerialPort::Write(const uint8_t* data, size_t n) {
    if (fd_ == kClosed || (data == nullptr && n != 0)) {
        return 0;
    }
    if (cancelled_.load()) {
        return 0;
    }
    if (n == 0) {
        return 1;
    }
    PrivateOperation write;
    if (!write.Valid()) {
        return 0;
    }
    HANDLE handle = AsHandle(fd_);
    DWORD wrote = 0;
    if (::WriteFile(handle, data, static_cast<DWORD>(n), &wrote, write.Get())) {
        return wrote == n ? 1 : 0;
    }
    if (::GetLastError() != ERROR_IO_PENDING) {
        DWORD errors = 0;
        ::ClearCommError(handle, &errors, nullptr);
        return 0;
    }
    // The write ends when the line has taken the bytes, its time-out runs out, or writes are
    // cancelled from another thread.
    const HANDLE waits[2] = {write.Event(), cancelEvent_};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        ::CancelIoEx(handle, write.Get());
        ::GetOverlappedResult(handle, write.Get(), &wrote, TRUE);
        return 0;
    }
    if (!::GetOverlappedResult(handle, write.Get(), &wrote, TRUE) || wrote != n) {
        DWORD errors = 0;
        ::ClearCommError(handle, &errors, nullptr);
        return 0;
    }
    return 1;
}

void cnsSerialPort::CancelWrites() {
    cancelled_ = true;
    if (cancelEvent_ != nullptr) {
        ::SetEvent(cancelEvent_);
    }
}

}  // namespace tarvu
