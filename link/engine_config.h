#pragma once
// The block the application hands the engine once at start, the callbacks through which the
// engine reaches back, and the application records the engine reads through them.

#include "link/ns_address.h"
#include "platform/byte_order.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvu {

class LinkChannel;
class MainWindow;

// Indices of the fifteen link parameters; only their low 16 bits are used.
enum LinkParameter : size_t {
    kSendDelay = 0,
    kFirstSendDelay = 1,
    kMinSendInterval = 2,
    kUserPacketWait = 3,
    kCommandWait = 4,
    kMessageWait = 5,
    kSerialTimeout = 6,
    kPollDivisor = 7,
    kMessageAttempts = 8,
    kDeviceRetries = 9,
    kMessageRepeats = 12,
    kIdleWait = 13,
    kLinkParameterCount = 15,
};

// Channel kinds carried in byte 0 of a ChannelRequest.
constexpr uint8_t kChannelKindSerial = 9;
constexpr uint8_t kChannelKindUdp = 10;

// 12 bytes: kind, two zero bytes, channel number, record index, seven zero bytes.
struct ChannelRequest {
    uint8_t kind = 0;
    uint8_t reserved1[2] = {};
    uint8_t channelNumber = 0;
    uint8_t recordIndex = 0;
    uint8_t reserved2[7] = {};
};
static_assert(sizeof(ChannelRequest) == 12);

// ChannelRecord flag and option bits.
constexpr uint32_t kChannelConfigured = 0x80;
constexpr uint32_t kChannelDisabled = 0x20;
constexpr uint32_t kOptionCipher = 0x01;
// Device types whose loss reports carry the device address.
constexpr uint32_t kDeviceTypeDefault = 819;

// The application's settings of one channel. The engine reads the fields by name; the record
// is never sent anywhere, so it has no byte layout to keep.
struct ChannelRecord {
    uint32_t deviceType = 0;
    uint32_t flags = 0;
    uint32_t options = 0;
    uint32_t remoteAddress = 0;  // network byte order
    std::array<uint8_t, 32> key = {};
    uint32_t remotePort = 0;                  // UDP port, or the baud rate of a serial channel
    std::array<char, 128> serialDevice = {};  // NUL-terminated device path
};

// 58 bytes copied between the application and the engine. Field positions are fixed, so the
// record is a byte array with accessors.
class MessageRecord {
public:
    static constexpr size_t kSize = 58;

    uint32_t Code() const { return LoadLe32(bytes.data() + 16); }
    void SetCode(uint32_t code) { StoreLe32(bytes.data() + 16, code); }
    uint8_t ChannelNumber() const { return bytes[23]; }
    void SetChannelNumber(uint8_t v) { bytes[23] = v; }
    uint8_t DeviceAddress() const { return bytes[24]; }
    void SetDeviceAddress(uint8_t v) { bytes[24] = v; }
    uint8_t Extra() const { return bytes[26]; }
    void SetExtra(uint8_t v) { bytes[26] = v; }
    const uint8_t* Mac() const { return bytes.data() + 32; }
    uint8_t* Mac() { return bytes.data() + 32; }
    uint8_t Parameter() const { return bytes[39]; }
    void SetParameter(uint8_t v) { bytes[39] = v; }

    std::array<uint8_t, kSize> bytes = {};
};

// Callbacks, in slot order. Each returns what the engine relies on (see each front end).
using LookupChannelFn = ChannelRecord* (*)(const ChannelRequest* request);
using DescribeMessageFn = int (*)(MessageRecord* message);
// direction: 1 = sent, 0 = received; stage: 0 = as sent/received, 1 = frame coded/decoded.
using TraceDataFn = int (*)(const LinkChannel* channel, const uint8_t* data, uint32_t length,
                            int direction, const nsAddress* peer, uint32_t port, int stage);
using FetchMessageFn = uint16_t (*)(const ChannelRequest* request, MessageRecord* out, int take);
using SaveChannelKeyFn = int (*)(const LinkChannel* channel, const uint8_t* key32);
using SetStatusTextFn = void (*)(int which, const char* text);
using GetMainWindowFn = MainWindow* (*)();

struct LinkCallbacks {
    LookupChannelFn LookupChannel = nullptr;
    DescribeMessageFn DescribeMessage = nullptr;
    TraceDataFn TraceData = nullptr;
    FetchMessageFn FetchMessage = nullptr;
    SaveChannelKeyFn SaveChannelKey = nullptr;
    SetStatusTextFn SetStatusText = nullptr;
    GetMainWindowFn GetMainWindow = nullptr;
};

// The size field must carry 180, the block's size in the 32-bit layout the peers agree on.
// On a 64-bit build the seven pointers make the record larger; only the field is checked.
constexpr uint32_t kEngineConfigSize = 180;

struct EngineConfig {
    uint32_t size = 0;
    uint32_t localPort = 0;
    uint32_t parameters[kLinkParameterCount] = {};
    uint8_t reserved[84] = {};
    LinkCallbacks callbacks;
};

}  // namespace tarvu
