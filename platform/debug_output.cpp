#include "platform/debug_output.h"

#include "platform/debugger_output.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace tarvu {
namespace {

std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}

DebugSink& Sink() {
    static DebugSink sink;
    return sink;
}

std::atomic<bool> gSinkInstalled{false};

}  // namespace

void OutputDebugString(std::string_view text) {
    // A debugger attached to the process sees the lines too, as on Windows.
    if (DebuggerListening()) {
        WriteToDebugger(text);
    }
    // The sink is called under the lock so that lines from two threads never interleave.
    std::lock_guard<std::mutex> lock(SinkMutex());
    if (Sink()) {
        Sink()(text);
    }
}

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    DebugSink previous = std::move(Sink());
    Sink() = std::move(sink);
    gSinkInstalled.store(static_cast<bool>(Sink()));
    return previous;
}

bool DebugOutputEnabled() {
    return gSinkInstalled.load(std::memory_order_relaxed) || DebuggerListening();
}

void EnableDebugToStderr(bool enabled) {
    const char* env = std::getenv("TARVU_DEBUG");
    if (enabled || (env != nullptr && std::strcmp(env, "1") == 0)) {
        SetDebugSink([](std::string_view text) {
            std::fwrite(text.data(), 1, text.size(), stderr);
            std::fflush(stderr);
        });
    }
}

}  // namespace tarvu
