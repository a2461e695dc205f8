#pragma once
// SIGINT, SIGTERM and SIGHUP as an event for a program with an event loop: the handler
// writes one byte into a pipe whose read end the loop watches, so the program ends through
// its own closing steps on its own thread instead of dying where the signal struck.

namespace tarvu {

class SignalWakeup {
public:
    // Installs the handlers; the previous ones come back when the object goes. One object at
    // a time. Valid() is false when the pipe could not be made (the signals then keep
    // their previous disposition).
    SignalWakeup();
    ~SignalWakeup();
    SignalWakeup(const SignalWakeup&) = delete;
    SignalWakeup& operator=(const SignalWakeup&) = delete;

    bool Valid() const { return readFd_ >= 0; }
    // Becomes readable when a signal has arrived.
    int Descriptor() const { return readFd_; }
    // Empties the pipe; returns the last signal number read, 0 when none was pending.
    int Take();

private:
    int readFd_ = -1;
    int writeFd_ = -1;
};

}  // namespace tarvu
