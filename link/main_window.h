#pragma once
// The four dialog controls that the engine and the transport read at the moment they need
// them. The front end publishes them as a thread-safe object; the worker never waits for the
// user-interface thread to answer.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvu {

class MainWindow {
public:
    virtual ~MainWindow() = default;
    // Destination address (IP-address control 2045), first octet first.
    virtual std::array<uint8_t, 4> ReadIpAddress() const = 0;
    // Send port (edit 1047) and read port (edit 1046) as the user typed them.
    virtual std::string SendPortText() const = 0;
    virtual std::string ReadPortText() const = 0;
    // Substitution switch (check box 1045): frames are coded when checked.
    virtual bool SubstitutionChecked() const = 0;
};

// A port field's value: its first five characters converted as atoi does
// (leading blanks and a sign accepted, digits up to the first non-digit, 0 for none).
int PortFieldValue(std::string_view text);

// The destination address of the IP-address control in network byte order.
uint32_t DestinationAddress(const MainWindow& window);

}  // namespace tarvu
