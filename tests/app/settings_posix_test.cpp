// The settings file as a named pipe.
#include "app/settings.h"
#include "app/settings_keys.h"
#include "message_box_recorder.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvu {
namespace {

namespace fs = std::filesystem;

// A named pipe (or any other non-regular file) as the settings file: the program says so
// once and runs on the defaults, as for a missing file.
TEST(Settings, NamedPipeRunsOnDefaultsAndIsReportedOnce) {
    const TempDirectory dir;
    const fs::path fifo = dir / "settings.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const MessageBoxRecorder recorder;
    Settings settings(fifo);
    settings.SetMessageCaption("tarvu");
    // Opening the pipe for reading would wait for a writer; a second thread keeps the test
    // from hanging if it does.
    auto pending = std::async(std::launch::async, [&settings] {
        return settings.ReadWithDefault(kSectionUdp, kKeyReadPort, kDefaultPort);
    });
    if (pending.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        pending.wait();
        ::close(writer);
        FAIL() << "reading a named pipe waited for a writer";
    }
    EXPECT_EQ(pending.get(), "10001");
    EXPECT_EQ(settings.SaveIfChanged(kSectionUdp, kKeyReadPort, "2"), SaveResult::kFailed);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_NE(recorder.messages[0].find("не обычный файл"), std::string::npos)
        << recorder.messages[0];
}

}  // namespace
}  // namespace tarvu
