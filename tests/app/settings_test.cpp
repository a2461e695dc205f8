#include "app/settings.h"

#include "app/settings_keys.h"
#include "message_box_recorder.h"
#include "platform/message_box.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

namespace tarvu {
namespace {

namespace fs = std::filesystem;

// The bytes of a text given as code-page 1251 byte values.
std::string Cp1251(std::initializer_list<int> bytes) {
    std::string s;
    for (const int b : bytes) {
        s.push_back(static_cast<char>(b));
    }
    return s;
}

TEST(Settings, FirstStartWritesTheDefaultsInOrder) {
    const TempDirectory dir;
    const Settings settings(dir / "settings.ini");
    std::vector<std::string> values;
    for (const SettingDefault& entry : kStartupDefaults) {
        values.push_back(settings.ReadWithDefault(kSectionUdp, entry.key, entry.value));
    }
    EXPECT_EQ(values, (std::vector<std::string>{"нет", "10001", "10001", "", "7E 7F"}));

    const std::string zamena = Cp1251({0xC7, 0xC0, 0xCC, 0xC5, 0xCD, 0xC0});  // ЗАМЕНА
    const std::string port = Cp1251({0xCF, 0xCE, 0xD0, 0xD2});                // ПОРТ
    const std::string net = Cp1251({0xED, 0xE5, 0xF2});                       // нет
    const std::string expected = "[UDP]\r\n" + zamena + " 7E 7F 7D=" + net + "\r\n" + port +
                                 " IN=10001\r\n" + port + " OUT=10001\r\n" +
                                 "IP ADDRES=\r\n"
                                 "PACKETIK=7E 7F\r\n";
    EXPECT_EQ(ReadBytes(settings.File()), expected);

    // A second start finds the values; only the empty address is written again, in place.
    for (const SettingDefault& entry : kStartupDefaults) {
        EXPECT_EQ(settings.ReadWithDefault(kSectionUdp, entry.key, "other"),
                  entry.value.empty() ? "other" : std::string(entry.value));
    }
    EXPECT_EQ(settings.Read(kSectionUdp, kKeyIpAddress), "other");
}

TEST(Settings, WindowsFileLoadsUnchangedAndRewritesTouchOneValue) {
    const TempDirectory dir;
    const fs::path file = dir / "settings.ini";
    fs::copy_file(fs::path(TARVU_TEST_DATA_DIR) / "windows_settings.ini", file);
    const std::string original = ReadBytes(file);
    ASSERT_FALSE(original.empty());
    const Settings settings(file);

    EXPECT_EQ(settings.ReadWithDefault(kSectionUdp, kKeySubstitution, kValueNo), "да");
    EXPECT_EQ(settings.ReadWithDefault(kSectionUdp, kKeyReadPort, kDefaultPort), "10002");
    EXPECT_EQ(settings.ReadWithDefault(kSectionUdp, kKeySendPort, kDefaultPort), "10003");
    EXPECT_EQ(settings.ReadWithDefault(kSectionUdp, kKeyIpAddress, ""), "192.168.0.10");
    EXPECT_EQ(settings.ReadWithDefault(kSectionUdp, kKeyPacket, kDefaultPacket), "11 01 00 30 00");
    EXPECT_EQ(ChannelSection(1), "Kanal №1");
    EXPECT_EQ(settings.Read(ChannelSection(1), kKeyGostKey).size(), 95u);
    EXPECT_EQ(settings.Read(kSectionCipher, kKeyRsaGost), "нет");
    EXPECT_EQ(settings.SaveIfChanged(kSectionUdp, kKeySendPort, "10003"), SaveResult::kUnchanged);
    EXPECT_EQ(ReadBytes(file), original);

    EXPECT_EQ(settings.SaveIfChanged(kSectionUdp, kKeyReadPort, "10005"), SaveResult::kWritten);
    std::string expected = original;
    const size_t at = expected.find("In=10002");
    ASSERT_NE(at, std::string::npos);
    expected.replace(at + 3, 5, "10005");
    EXPECT_EQ(ReadBytes(file), expected);

    // A new key joins the end of its section, before the blank line and the comment.
    ASSERT_TRUE(settings.Write(kSectionUdp, kKeyMacAddress, "0A 0B"));
    const std::string macLine = "MAC-" + Cp1251({0xE0, 0xE4, 0xF0, 0xE5, 0xF1}) + "(hex)=0A 0B\r\n";
    const size_t packet = expected.find("packetik=\"11 01 00 30 00\"\r\n");
    ASSERT_NE(packet, std::string::npos);
    expected.insert(packet + 27, macLine);
    EXPECT_EQ(ReadBytes(file), expected);
}

// The stored packet is read whole, up to the largest packet (512 bytes as "XX " groups);
// every other key keeps the 259-character limit of a read.
TEST(Settings, StoredPacketReadsWholeOtherKeysAreCutAt259Characters) {
    const TempDirectory dir;
    const Settings settings(dir / "settings.ini");
    std::string packet;
    while (packet.size() < 2000) {
        packet += "7E ";
    }
    packet.resize(299);  // 100 bytes
    ASSERT_TRUE(settings.Write(kSectionUdp, kKeyPacket, packet));
    EXPECT_EQ(settings.Read(kSectionUdp, kKeyPacket), packet);
    EXPECT_EQ(settings.SaveIfChanged(kSectionUdp, kKeyPacket, packet), SaveResult::kUnchanged);

    std::string longest = std::string(2000, 'A');
    ASSERT_TRUE(settings.Write(kSectionUdp, kKeyPacket, longest));
    EXPECT_EQ(settings.Read(kSectionUdp, kKeyPacket), longest.substr(0, 512 * 3));

    for (const auto& [section, key] :
         {std::pair{kSectionUdp, kKeyMacAddress}, std::pair{kSectionCipher, kKeyPacket}}) {
        ASSERT_TRUE(settings.Write(section, key, packet));
        EXPECT_EQ(settings.Read(section, key), packet.substr(0, 259)) << key;
        // The cut text differs from the stored one, so saving it again rewrites the key.
        EXPECT_EQ(settings.SaveIfChanged(section, key, packet), SaveResult::kWritten);
    }
}

TEST(Settings, SaveIfChangedComparesByteWiseAndReportsFailure) {
    const TempDirectory dir;
    const Settings settings(dir / "settings.ini");
    EXPECT_EQ(settings.SaveIfChanged(kSectionUdp, kKeyReadPort, ""), SaveResult::kUnchanged);
    EXPECT_FALSE(fs::exists(settings.File()));
    EXPECT_EQ(settings.SaveIfChanged(kSectionUdp, kKeyReadPort, "10001"), SaveResult::kWritten);
    EXPECT_EQ(settings.SaveIfChanged(kSectionUdp, kKeyReadPort, "10001"), SaveResult::kUnchanged);
    EXPECT_EQ(settings.SaveIfChanged(kSectionUdp, kKeyReadPort, "010001"), SaveResult::kWritten);

    const Settings unwritable(dir / "missing" / "settings.ini");
    EXPECT_EQ(unwritable.SaveIfChanged(kSectionUdp, kKeyReadPort, "1"), SaveResult::kFailed);
    EXPECT_EQ(unwritable.ReadWithDefault(kSectionUdp, kKeyReadPort, "10001"), "10001");
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(SettingsLocation, ChoosesExplicitThenExecutableThenConfigDirectory) {
    SettingsLocation location;
    location.executableDirectory = "/opt/tarvu/bin";
    location.configHome = "/home/u/.config";

    location.executableDirectoryWritable = true;
    EXPECT_EQ(ChooseSettingsFile(location), "/opt/tarvu/bin/settings.ini");
    location.executableDirectoryWritable = false;
    EXPECT_EQ(ChooseSettingsFile(location), "/home/u/.config/tarvu/settings.ini");
    location.configHome.clear();
    EXPECT_EQ(ChooseSettingsFile(location), "/opt/tarvu/bin/settings.ini");
    // A writable file beside the program is used even in a folder that is not writable.
    location.configHome = "/home/u/.config";
    location.executableFileWritable = true;
    EXPECT_EQ(ChooseSettingsFile(location), "/opt/tarvu/bin/settings.ini");

    location.explicitFile = "/tmp/my.ini";
    EXPECT_EQ(ChooseSettingsFile(location), "/tmp/my.ini");
    location.explicitFile = "rel/my.ini";
    EXPECT_EQ(ChooseSettingsFile(location), fs::current_path() / "rel/my.ini");

    const Settings chosen = Settings::Locate("given.ini");
    EXPECT_EQ(chosen.File(), fs::current_path() / "given.ini");
}

TEST(Settings, AFailedWriteIsReportedOncePerRun) {
    const TempDirectory dir;
    const MessageBoxRecorder recorder;
    Settings settings(dir / "missing" / "settings.ini");
    settings.SetMessageCaption("tarvu-cli");
    EXPECT_EQ(settings.ReadWithDefault(kSectionUdp, kKeyReadPort, kDefaultPort), "10001");
    EXPECT_FALSE(settings.Write(kSectionUdp, kKeyPacket, "7E 7F"));
    EXPECT_EQ(settings.SaveIfChanged(kSectionUdp, kKeySendPort, "1"), SaveResult::kFailed);
    ASSERT_EQ(recorder.messages.size(), 1u);
    const std::string& message = recorder.messages[0];
    EXPECT_EQ(message.rfind("tarvu-cli: ", 0), 0u) << message;
    EXPECT_NE(message.find("Не удалось сохранить настройки"), std::string::npos) << message;
    EXPECT_NE(message.find(settings.File().string()), std::string::npos) << message;
    // The folder of the file is not there: the message says so instead of guessing at rights.
    EXPECT_NE(message.find(": нет папки " + (dir / "missing").string()), std::string::npos)
        << message;
    EXPECT_EQ(message.find("нет доступа"), std::string::npos) << message;

    // Writes that succeed and entries refused for their text are not reported.
    const MessageBoxRecorder quiet;
    const Settings good(dir / "settings.ini");
    EXPECT_TRUE(good.Write(kSectionUdp, kKeyPacket, "7E 7F"));
    EXPECT_FALSE(good.Write(kSectionUdp, kKeyPacket, "7E\r\n7F"));
    EXPECT_TRUE(quiet.messages.empty());
}

}  // namespace
}  // namespace tarvu
