#pragma once
// Traced blocks as the engine hands them to a record sink, for the session record's tests.

#include "record/session_recorder.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvu {

using Clock = std::chrono::system_clock;

struct Traced {
    std::vector<uint8_t> bytes;
    TraceBlock block;
    std::string line;
};

inline Traced Make(int direction, int stage, std::vector<uint8_t> bytes, const std::string& line) {
    Traced t{std::move(bytes), {}, line};
    t.block.data = t.bytes.data();
    t.block.length = t.bytes.size();
    t.block.direction = direction;
    t.block.stage = stage;
    t.block.address = 0x0100007F;  // 127.0.0.1
    t.block.port = 10002;
    return t;
}

inline void Feed(RecordSink& sink, const Traced& t, Clock::time_point when = Clock::now()) {
    sink.Record(t.block, t.line, when);
}

inline SessionSettings UdpSettings() {
    return {"10001", "127.0.0.1:10002", true, false};
}

}  // namespace tarvu
