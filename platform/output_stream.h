#pragma once
// Writing to a standard stream without ever being stuck in the system for good: a terminal
// or pipe that stops taking output (nobody reads it, a suspended pager) only makes a write
// report that nothing went out yet, and another thread can break off a write in progress.

#include <cstddef>
#include <memory>

namespace tarvu {

// The descriptor number of standard output, whatever the system.
constexpr int kStandardOutput = 1;

// WriteSome's result when the reader has gone (a pipe or socket closed at its other end):
// nothing written now or later will be read.
constexpr long kOutputClosed = -2;

class OutputStream {
public:
    // Writes to the open descriptor `fd` (not taken over).
    explicit OutputStream(int fd);
    ~OutputStream();
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    // Writes a leading part of the `size` bytes at `data`, waiting up to `timeoutMs` for the
    // output to take any. Returns how many went out (0: none yet, try again), kOutputClosed
    // when the reader has gone, or -1 when the output refused them otherwise or the write was
    // interrupted. On Linux the caller must ignore SIGPIPE (InstallStopSignals does), or a
    // reader that goes away ends the process instead.
    long WriteSome(const char* data, size_t size, int timeoutMs);

    // Any thread: a write that is waiting in the system returns at once (with -1), and so
    // does every later one.
    void Interrupt();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tarvu
