// The message description callback on any 58-byte message record, with an optional pending
// head taken from the input too: one debug line of the fixed form, the MAC written only for
// the ma_MAC code, and the head retired exactly when device, channel and code match.

#include "app/message_callbacks.h"
#include "fuzz/fuzz_check.h"
#include "link/engine_config.h"
#include "link/hex_text.h"
#include "platform/debug_output.h"
#include "trace/message_catalogue.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Write {
    std::string section;
    std::string key;
    std::string value;
};

tarvu::MessageRecord RecordFrom(const uint8_t* data, size_t size) {
    tarvu::MessageRecord record;
    std::memcpy(record.bytes.data(), data, std::min(size, tarvu::MessageRecord::kSize));
    return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const tarvu::MessageRecord message = RecordFrom(data, size);
    const size_t rest = size > tarvu::MessageRecord::kSize ? size - tarvu::MessageRecord::kSize : 0;

    std::vector<Write> writes;
    tarvu::MessageCallbacks callbacks(
        3, [&writes](const std::string& s, const std::string& k, const std::string& v) {
            writes.push_back({s, k, v});
        });
    bool headMatches = false;
    if (rest > 0) {
        const tarvu::MessageRecord head = RecordFrom(data + tarvu::MessageRecord::kSize, rest);
        callbacks.AddPending(head);
        headMatches = head.DeviceAddress() == message.DeviceAddress() &&
                      head.ChannelNumber() == message.ChannelNumber() &&
                      head.Code() == message.Code();
    }

    std::string output;
    const tarvu::DebugSink previous =
        tarvu::SetDebugSink([&output](std::string_view text) { output += text; });
    tarvu::InstallMessageCallbacks(&callbacks);
    tarvu::MessageRecord copy = message;
    FUZZ_CHECK(tarvu::DescribeMessage(&copy) == 1);
    tarvu::InstallMessageCallbacks(nullptr);
    tarvu::SetDebugSink(previous);

    const uint8_t device = message.DeviceAddress();
    FUZZ_CHECK(output == tarvu::FormatHexBytes(&device, 1) +
                             ": - HardCode = " + tarvu::DescribeCode(message.Code()) +
                             " ; Param = " + tarvu::DescribeParameter(message.Parameter()) + "\n");
    const char* name = tarvu::FindCodeName(message.Code());
    FUZZ_CHECK(tarvu::DescribeCode(message.Code()) ==
               tarvu::FormatHexCode(message.Code()) + "(" + (name ? name : "? ? ?") + ")");
    FUZZ_CHECK(tarvu::FormatHexCode(message.Code()).size() >= 2);

    if (message.Code() == tarvu::kCodeMac) {
        FUZZ_CHECK(writes.size() == 1);
        FUZZ_CHECK(writes[0].section == tarvu::ChannelSection(message.ChannelNumber()));
        FUZZ_CHECK(writes[0].value == tarvu::FormatHexBytes(message.Mac(), 6));
        FUZZ_CHECK(writes[0].value.size() == 17);
    } else {
        FUZZ_CHECK(writes.empty());
    }
    FUZZ_CHECK(callbacks.PendingCount() == (rest > 0 && !headMatches ? 1u : 0u));
    // The record itself is left as it was.
    FUZZ_CHECK(copy.bytes == message.bytes);
    return 0;
}
