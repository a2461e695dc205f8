#include "platform/debug_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <windows.h>

namespace tarvu {
namespace {

// What DebugView does to receive OutputDebugString text without being a debugger: a shared
// buffer and two events under fixed names.
struct DebugViewStandIn {
    DebugViewStandIn() {
        buffer = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                      L"DBWIN_BUFFER");
        bufferReady = ::CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY");
        dataReady = ::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
        view = buffer != nullptr ? ::MapViewOfFile(buffer, FILE_MAP_READ, 0, 0, 4096) : nullptr;
    }
    ~DebugViewStandIn() {
        if (view != nullptr) {
            ::UnmapViewOfFile(view);
        }
        for (HANDLE handle : {buffer, bufferReady, dataReady}) {
            if (handle != nullptr) {
                ::CloseHandle(handle);
            }
        }
    }
    // The next text received (after the writer's process id), or nothing within `ms`.
    std::string Receive(DWORD ms) const {
        if (::WaitForSingleObject(dataReady, ms) != WAIT_OBJECT_0) {
            return {};
        }
        const char* text = static_cast<const char*>(view) + sizeof(DWORD);
        std::string received(text, ::strnlen(text, 4096 - sizeof(DWORD)));
        ::SetEvent(bufferReady);
        return received;
    }
    HANDLE buffer = nullptr;
    HANDLE bufferReady = nullptr;
    HANDLE dataReady = nullptr;
    void* view = nullptr;
};

TEST(DebuggerOutput, DebugViewGetsTheLinesWithoutADebugger) {
    ASSERT_FALSE(::IsDebuggerPresent());
    DebugViewStandIn debugView;
    ASSERT_NE(debugView.view, nullptr);
    // Whether anyone listens is looked up afresh at most every quarter of a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(DebugOutputEnabled());
    OutputDebugString("05: - HardCode = 21(ma_ALARM) ; Param = 9E\n");
    EXPECT_EQ(debugView.Receive(3000), "05: - HardCode = 21(ma_ALARM) ; Param = 9E\n");
}

}  // namespace
}  // namespace tarvu
