#pragma once
// A pseudo-terminal pair for exercising serial lines without hardware: the program under test
// opens DevicePath() as its serial device, and the holder plays the far end on the master.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvu {

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates the pair; false when the system has no pseudo-terminals to give. The far end is
    // non-blocking; the device side is kept open (raw) so that the pair lives on between the
    // opens of the program under test.
    bool Open();

    // The path of the device side, e.g. /dev/pts/3.
    const std::string& DevicePath() const { return devicePath_; }

    // Far end: reads what the device side wrote, waiting at most `timeoutMs` for the first
    // byte. Bytes read, 0 on time-out, -1 on error or hang-up.
    long Read(uint8_t* buffer, size_t capacity, int timeoutMs);
    // Far end: reads until `n` bytes came or none came for `timeoutMs`.
    std::vector<uint8_t> ReadUpTo(size_t n, int timeoutMs);
    // Far end: writes all bytes, waiting at most `timeoutMs` for room. False on failure.
    bool Write(const uint8_t* data, size_t n, int timeoutMs);
    // Stops (or resumes) the device side's output, as a far end's XOFF would: writes of the
    // program under test then wait for room. False when the terminal refuses.
    bool SuspendOutput(bool suspended);
    // Far end hangs up: the device side then reads end of file.
    void CloseFarEnd();
    // Drops the holder's own descriptor of the device side.
    void CloseDeviceSide();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string devicePath_;
};

}  // namespace tarvu
