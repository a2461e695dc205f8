// Error messages quote what the user typed: control bytes must reach the terminal escaped,
// Cyrillic text readable.

#include "app/cli/terminal_text.h"

#include "client_test_support.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

using cli::EscapeControls;
using testing::CliRun;

TEST(TerminalText, ControlBytesAndBrokenUtf8AreEscapedTextIsKept) {
    EXPECT_EQ(EscapeControls("7E\x1B[31mX"), "7E\\x1B[31mX");
    EXPECT_EQ(EscapeControls(std::string("a\0b\r\n\t\x7F", 7)), "a\\x00b\\x0D\\x0A\\x09\\x7F");
    EXPECT_EQ(EscapeControls("Порт занят: ёЁ"), "Порт занят: ёЁ");
    EXPECT_EQ(EscapeControls("a\nb", /*keepLineEnds=*/true), "a\nb");
    // C1 control U+009B (a one-character CSI on some terminals) and a right-to-left override.
    EXPECT_EQ(EscapeControls("\xC2\x9B"
                             "2J"),
              "\\u009B2J");
    EXPECT_EQ(EscapeControls("x\xE2\x80\xAEy"), "x\\u202Ey");
    // A lone continuation byte, a cut sequence, an overlong form and a surrogate.
    EXPECT_EQ(EscapeControls("\x80"), "\\x80");
    EXPECT_EQ(EscapeControls("\xD0"), "\\xD0");
    EXPECT_EQ(EscapeControls("\xC0\x9B"), "\\xC0\\x9B");
    EXPECT_EQ(EscapeControls("\xED\xA0\x80"), "\\xED\\xA0\\x80");
    EXPECT_EQ(EscapeControls("😀"), "😀");
}

// Every error path that quotes an argument, through the real program.
TEST(TerminalText, ErrorsOfTheProgramNeverCarryRawControlBytes) {
    testing::TempDirectory dir;
    const std::string settings = (dir / "settings.ini").string();
    const std::vector<std::vector<std::string>> runs = {
        {"frame", "decode", "7E\x1B[2J"},
        {"frame", "encode", "7E", "\x1B]0;title\x07"},
        {"--settings", settings, "--to", "10.0.0.\x1B[31m", "--wait", "0"},
        {"--settings", settings, "--port", "1\x1B[31m"},
        {"--settings", settings, "--message", "ca_\x1B[31m:1"},
        {"--settings", settings, "--gost-key", "\x1B[31m"},
    };
    for (const auto& arguments : runs) {
        const CliRun run = testing::RunCli(dir, arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments[1];
        EXPECT_NE(run.err.find("\\x1B"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\x1B'), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\x07'), std::string::npos) << run.err;
    }
    // A message box quotes the serial device path.
    const CliRun serial =
        testing::RunCli(dir, {"--settings", settings, "--serial", "/dev/tarvu-none\x1B[31m",
                              "--baud", "9600", "--wait", "0"});
    EXPECT_EQ(serial.exitCode, 1);
    EXPECT_NE(serial.err.find("cnsSerialPort::Open: "), std::string::npos) << serial.err;
    EXPECT_NE(serial.err.find("/dev/tarvu-none\\x1B[31m"), std::string::npos) << serial.err;
    EXPECT_EQ(serial.err.find('\x1B'), std::string::npos) << serial.err;
    const CliRun cyrillic = testing::RunCli(dir, {"frame", "decode", "7E Ж"});
    EXPECT_EQ(cyrillic.exitCode, 2);
    EXPECT_NE(cyrillic.err.find("\"7E Ж\""), std::string::npos) << cyrillic.err;
}

}  // namespace
}  // namespace tarvu
