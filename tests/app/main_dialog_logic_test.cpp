#include "app/main_dialog_logic.h"

#include "app/settings.h"
#include "app/settings_keys.h"
#include "fake_channel_service.h"
#include "fake_dialog_view.h"
#include "fake_one_shot_timer.h"
#include "link/engine.h"
#include "platform/debug_output.h"
#include "platform/message_box.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tarvu {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

bool NoAdapters(std::vector<LocalAddress>&) {
    return true;
}

class MainDialogLogicTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_ = std::make_unique<Settings>(directory_ / "settings.ini");
        previousHandler_ =
            SetMessageBoxHandler([this](const std::string& caption, const std::string& text) {
                messages_.push_back(caption + ": " + text);
            });
    }
    void TearDown() override {
        logic_.reset();
        SetMessageBoxHandler(std::move(previousHandler_));
    }

    MainDialogLogic& Start(AddressQuery addresses = NoAdapters) {
        logic_ = std::make_unique<MainDialogLogic>(view_, *settings_, "tarvu", channels_,
                                                   std::move(addresses));
        logic_->Initialise();
        return *logic_;
    }
    std::string Stored(std::string_view key, std::string_view section = kSectionUdp) {
        return settings_->Read(section, key);
    }
    void Store(std::string_view key, std::string_view value) {
        settings_->Write(kSectionUdp, key, value);
    }
    // Changes only when the file is written again (each write replaces the file).
    fs::file_time_type FileTimeAfterPause() {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return fs::last_write_time(settings_->File());
    }

    TempDirectory directory_;
    std::unique_ptr<Settings> settings_;
    testing::FakeDialogView view_;
    testing::FakeChannelService channels_;
    testing::FakeOneShotTimer timer_;  // outlives the logic that holds it
    std::unique_ptr<MainDialogLogic> logic_;
    std::vector<std::string> messages_;
    MessageBoxHandler previousHandler_;
};

TEST_F(MainDialogLogicTest, FirstStartFillsTheFieldsFromDefaultsAndWritesThem) {
    MainDialogLogic& logic = Start();
    EXPECT_FALSE(view_.substitution);
    EXPECT_EQ(view_.ip, (Octets{0, 0, 0, 0}));
    EXPECT_EQ(view_.readPort, "10001");
    EXPECT_EQ(view_.sendPort, "10001");
    EXPECT_EQ(view_.packet, "7E 7F");
    EXPECT_TRUE(view_.hiddenReset);

    // One section, the keys in start-up order, "IP ADDRES" with an empty value.
    std::ifstream in(settings_->File(), std::ios::binary);
    std::ostringstream file;
    file << in.rdbuf();
    const std::string text = file.str();
    EXPECT_EQ(text.find("[UDP]\r\n"), 0u) << text;
    size_t previous = 0;
    for (const char* entry : {" 7E 7F 7D=", " IN=10001\r\n", " OUT=10001\r\n", "IP ADDRES=\r\n",
                              "PACKETIK=7E 7F\r\n"}) {
        const size_t at = text.find(entry);
        ASSERT_NE(at, std::string::npos) << entry;
        EXPECT_GT(at, previous) << entry;
        previous = at;
    }
    EXPECT_EQ(Stored(kKeySubstitution), "нет");

    // The engine got its parameters and callbacks, then channel 1 opened on the read port.
    const EngineConfig& config = logic.Config();
    EXPECT_EQ(ActiveEngineConfig(), &config);
    EXPECT_EQ(EngineAcceptsUnconfigured(), 1);
    EXPECT_EQ(config.size, 180u);
    EXPECT_EQ(config.localPort, 10001u);
    EXPECT_EQ(std::vector<uint32_t>(config.parameters, config.parameters + 15),
              (std::vector<uint32_t>{0, 0, 0, 300, 2000, 3000, 10000, 0, 1, 3, 3, 10, 3, 1000, 5}));
    EXPECT_EQ(logic.Request().kind, kChannelKindUdp);
    EXPECT_EQ(logic.Request().channelNumber, 1);
    EXPECT_EQ(channels_.openedPorts, std::vector<int>{10001});
    EXPECT_TRUE(logic.Initialised());
    EXPECT_TRUE(messages_.empty());

    ChannelRequest request;
    const ChannelRecord* record = config.callbacks.LookupChannel(&request);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->deviceType, 819u);
    EXPECT_EQ(record->flags & (kChannelConfigured | kChannelDisabled), kChannelConfigured);
    EXPECT_EQ(record->options & kOptionCipher, 0u);
    EXPECT_EQ(record->remoteAddress, 0xFFFFFFFFu);
    EXPECT_EQ(record->remotePort, 10001u);
    request.recordIndex = 1;
    EXPECT_EQ(config.callbacks.LookupChannel(&request), nullptr);

    // With nothing changed since the start the destroy steps write nothing.
    const fs::file_time_type before = FileTimeAfterPause();
    logic.DestroySteps();
    EXPECT_EQ(fs::last_write_time(settings_->File()), before);
}

TEST_F(MainDialogLogicTest, StoredValuesFillTheFieldsAndThePublishedState) {
    Store(kKeySubstitution, "НЕТ");  // only exactly "нет" means off
    Store(kKeyReadPort, "2000");
    Store(kKeySendPort, "3000");
    Store(kKeyIpAddress, "10.0.0.17");
    Store(kKeyPacket, "11 01 00 30 00");
    Start();
    EXPECT_TRUE(view_.substitution);
    EXPECT_EQ(view_.readPort, "2000");
    EXPECT_EQ(view_.sendPort, "3000");
    EXPECT_EQ(view_.ip, (Octets{10, 0, 0, 17}));
    EXPECT_EQ(view_.packet, "11 01 00 30 00");
    EXPECT_EQ(channels_.openedPorts, std::vector<int>{2000});

    const MainWindow* window = ActiveEngineConfig()->callbacks.GetMainWindow();
    EXPECT_EQ(window->SendPortText(), "3000");
    EXPECT_EQ(window->ReadIpAddress(), (Octets{10, 0, 0, 17}));
    EXPECT_TRUE(window->SubstitutionChecked());
}

TEST_F(MainDialogLogicTest, AddressListShowsEveryAddressAndSurvivesAFailingQuery) {
    Start([](std::vector<LocalAddress>& out) {
        out.push_back({{192, 168, 1, 5}, {255, 255, 255, 0}});
        out.push_back({{10, 0, 0, 17}, {255, 0, 0, 0}});
        return true;
    });
    EXPECT_EQ(view_.addressLines, (std::vector<std::string>{"192.168.001.005   255.255.255.000",
                                                            "010.000.000.017   255.000.000.000"}));
    logic_.reset();

    Store(kKeyIpAddress, "converter");
    channels_.openedPorts.clear();
    ::testing::internal::CaptureStderr();
    Start([](std::vector<LocalAddress>&) { return false; });
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "GetAdaptersInfo fail\n");
    EXPECT_TRUE(view_.addressLines.empty());
    // The rest of the start-up ran all the same; a stored non-address shows all ones.
    EXPECT_EQ(view_.ip, (Octets{255, 255, 255, 255}));
    EXPECT_EQ(channels_.openedPorts.size(), 1u);
    EXPECT_TRUE(logic_->Initialised());
}

TEST_F(MainDialogLogicTest, ReadPortChangesReopenOncePerChangeAfterTheStartUp) {
    channels_.openResult = -1;
    view_.onReadPortChanged = [this] { logic_->OnReadPortChanged(); };
    Start();
    // Filling the field during the start-up reopened nothing; the failed open was reported.
    EXPECT_EQ(channels_.openedPorts, std::vector<int>{10001});
    EXPECT_EQ(channels_.closeCount, 0);
    EXPECT_EQ(messages_, std::vector<std::string>{"tarvu: Не смог открыть устройство № 2"});

    channels_.openResult = 0;
    for (const char* text : {"", "1", "12", "123", "1234"}) {
        view_.SetReadPortText(text);
    }
    EXPECT_EQ(channels_.openedPorts, (std::vector<int>{10001, 0, 1, 12, 123, 1234}));
    EXPECT_EQ(channels_.closeCount, 5);
    EXPECT_EQ(messages_.size(), 1u);

    channels_.openResult = -1;
    view_.SetReadPortText("5");
    EXPECT_EQ(messages_.back(), "tarvu: Не смог открыть устройство");
}

// Typing 10001 passes 1, 10, 100 and 1000, which an unprivileged user cannot bind: their
// failures wait until the field settles or loses the focus, and vanish once a later text opens.
TEST_F(MainDialogLogicTest, APrivilegedReadPortFailsSilentlyWhileTheEngineerTypes) {
    const std::string kBox =
        "cnsLibnetProvider::cnsLibnetProvider: Проблема с инициализаце(порт занят?)";
    for (int port : {1, 10, 100, 1000, 5}) {
        channels_.bindFailures[port] = BindFailure::kAccessDenied;
    }
    channels_.bindFailures[2000] = BindFailure::kAddressInUse;
    testing::FakeOneShotTimer& timer = timer_;
    view_.onReadPortChanged = [this] { logic_->OnReadPortChanged(); };
    MainDialogLogic& logic = Start();
    logic.SetReadPortTimer(&timer);

    for (const char* text : {"", "1", "10", "100", "1000", "10001"}) {
        view_.SetReadPortText(text);
    }
    EXPECT_EQ(channels_.openedPorts, (std::vector<int>{10001, 0, 1, 10, 100, 1000, 10001}));
    EXPECT_TRUE(messages_.empty());
    EXPECT_FALSE(timer.Active());
    EXPECT_TRUE(channels_.open);

    // Stopping at a privileged port: one box once the field has been still for a second.
    view_.SetReadPortText("1");
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(logic.ReadPortFailureHeld());
    EXPECT_EQ(timer.lastDelay, std::chrono::milliseconds(1000));
    timer.Fire();
    EXPECT_EQ(messages_, std::vector<std::string>{kBox});
    logic.OnReadPortFocusLost();
    EXPECT_EQ(messages_.size(), 1u);

    // Leaving the field shows it at once, and only once.
    view_.SetReadPortText("5");
    EXPECT_EQ(messages_.size(), 1u);
    logic.OnReadPortFocusLost();
    EXPECT_EQ(messages_.size(), 2u);
    EXPECT_FALSE(timer.Active());
    timer.Fire();
    logic.OnReadPortFocusLost();
    EXPECT_EQ(messages_.size(), 2u);

    // A port another program holds is reported at the keystroke, as before.
    view_.SetReadPortText("2000");
    EXPECT_EQ(messages_.size(), 3u);
    EXPECT_EQ(messages_.back(), kBox);
    EXPECT_FALSE(logic.ReadPortFailureHeld());

    // Closing the dialog drops a failure still held.
    view_.SetReadPortText("10");
    logic.OkSteps();
    timer.Fire();
    logic.OnReadPortFocusLost();
    EXPECT_EQ(messages_.size(), 3u);
}

// Without a timer (the command line) nothing is held back.
TEST_F(MainDialogLogicTest, WithoutATimerAPrivilegedPortFailsAtOnce) {
    channels_.bindFailures[1] = BindFailure::kAccessDenied;
    view_.onReadPortChanged = [this] { logic_->OnReadPortChanged(); };
    Start();
    view_.SetReadPortText("1");
    EXPECT_EQ(messages_, std::vector<std::string>{
                             "cnsLibnetProvider::cnsLibnetProvider: Проблема с инициализаце(порт "
                             "занят?)"});
}

TEST_F(MainDialogLogicTest, SendNormalisesStoresOnlyChangesAndConverts) {
    MainDialogLogic& logic = Start();
    struct Case {
        const char* typed;
        const char* shown;
        Bytes sent;
    };
    for (const Case& c :
         {Case{"7e7f", "7e 7f", {0x7E, 0x7F}}, Case{"7E7F1", "7E 7F 1", {0x7E, 0x7F, 0x01}},
          Case{" 7E 7F", "7E 7F", {0x7E, 0x7F}}, Case{"7E,7F", "7E ,7 F", {0x7E, 0x00, 0x0F}},
          Case{"ZZ", "ZZ", {0x00}}}) {
        view_.packet = c.typed;
        logic.Send();
        EXPECT_EQ(view_.packet, c.shown) << c.typed;
        EXPECT_EQ(Stored(kKeyPacket), c.shown) << c.typed;
        EXPECT_EQ(channels_.submitted.back(), c.sent) << c.typed;
    }
    // The same text again leaves the file alone.
    const fs::file_time_type before = FileTimeAfterPause();
    view_.packet = "Z Z";
    logic.Send();
    EXPECT_EQ(fs::last_write_time(settings_->File()), before);
    EXPECT_EQ(channels_.submitted.size(), 6u);
}

TEST_F(MainDialogLogicTest, SendTakesTheTextByCharacterAndStoresItInTheCodePage) {
    MainDialogLogic& logic = Start();
    view_.packet = "7Ж";
    logic.Send();
    EXPECT_EQ(channels_.submitted.back(), (Bytes{0x07}));
    EXPECT_EQ(view_.packet, "7Ж");
    EXPECT_EQ(Stored(kKeyPacket), "7Ж");
    logic.OkSteps();
    EXPECT_EQ(Stored(kKeyMacAddress), "7Ж");
    std::ifstream in(settings_->File(), std::ios::binary);
    std::ostringstream file;
    file << in.rdbuf();
    EXPECT_NE(file.str().find("PACKETIK=7\xC6\r\n"), std::string::npos) << file.str();
    EXPECT_NE(file.str().find("(hex)=7\xC6\r\n"), std::string::npos) << file.str();

    // A stored text is read by character too; a character the code page lacks is one "?".
    Store(kKeyPacket, "Ж1 05");
    view_.packet.clear();
    logic.Send();
    EXPECT_EQ(channels_.submitted.back(), (Bytes{0x00, 0x05}));
    view_.packet = "中12";
    logic.Send();
    EXPECT_EQ(view_.packet, "?1 2");
    EXPECT_EQ(Stored(kKeyPacket), "?1 2");
    EXPECT_EQ(channels_.submitted.back(), (Bytes{0x00, 0x02}));
}

TEST_F(MainDialogLogicTest, AnEmptyFieldSendsTheStoredPacketAndLongPacketsAreRefused) {
    Store(kKeyPacket, "11 01 00 30 00");
    MainDialogLogic& logic = Start();
    view_.packet.clear();
    logic.Send();
    EXPECT_EQ(view_.packet, "");
    EXPECT_EQ(Stored(kKeyPacket), "11 01 00 30 00");
    EXPECT_EQ(channels_.submitted.back(), (Bytes{0x11, 0x01, 0x00, 0x30, 0x00}));
    Store(kKeyPacket, "");
    logic.Send();
    EXPECT_EQ(channels_.submitted.back(), (Bytes{0x7E, 0x7F}));
    EXPECT_EQ(Stored(kKeyPacket), "7E 7F");

    view_.packet = std::string(512 * 2, 'A');
    logic.Send();
    EXPECT_EQ(channels_.submitted.back(), Bytes(512, 0xAA));
    EXPECT_TRUE(messages_.empty());
    view_.packet = std::string(513 * 2, 'B');
    logic.Send();
    EXPECT_EQ(channels_.submitted.size(), 3u);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("tarvu: "), std::string::npos);
    EXPECT_NE(messages_[0].find("512"), std::string::npos) << messages_[0];
}

TEST_F(MainDialogLogicTest, OkWritesTheClosingRecordsClosesAndSavesTheFields) {
    Store(kKeyIpAddress, "10.0.0.1");
    Store(kKeyReadPort, "2000");
    MainDialogLogic& logic = Start();
    logic.Messages().AddPending(MessageRecord());
    view_.packet = "0A 0B";
    view_.ip = {192, 168, 0, 9};
    view_.substitution = true;
    view_.readPort.clear();
    view_.sendPort = "4000";
    logic.OkSteps();
    EXPECT_EQ(Stored(kKeyMacAddress), "0A 0B");
    EXPECT_EQ(Stored(kKeyRsaGost, kSectionCipher), "нет");
    EXPECT_EQ(channels_.closeCount, 1);
    EXPECT_EQ(logic.Messages().PendingCount(), 0u);

    logic.DestroySteps();
    EXPECT_EQ(Stored(kKeyIpAddress), "192.168.0.9");
    EXPECT_EQ(Stored(kKeySubstitution), "да");
    EXPECT_EQ(Stored(kKeyReadPort), "10001");  // an empty field counts as the default
    EXPECT_EQ(Stored(kKeySendPort), "4000");
    logic_.reset();
    EXPECT_EQ(channels_.closeCount, 1);  // nothing is closed twice
}

TEST_F(MainDialogLogicTest, EscapeClosesTheChannelAndSavesOnlyTheFields) {
    Store(kKeyMacAddress, "old");
    Store(kKeyIpAddress, "10.0.0.1");
    MainDialogLogic& logic = Start();
    view_.packet = "0A 0B";
    view_.ip = {0, 0, 0, 0};  // a blank control keeps the stored address
    view_.sendPort = "4000";
    logic.EscapeSteps();
    EXPECT_EQ(channels_.closeCount, 1);
    EXPECT_EQ(Stored(kKeyMacAddress), "old");
    EXPECT_EQ(Stored(kKeyRsaGost, kSectionCipher), "");
    EXPECT_EQ(Stored(kKeyIpAddress), "10.0.0.1");
    EXPECT_EQ(Stored(kKeySendPort), "4000");
}

TEST_F(MainDialogLogicTest, FieldsThatWereNeverLoadedAreNotSaved) {
    logic_ = std::make_unique<MainDialogLogic>(view_, *settings_, "tarvu", channels_, NoAdapters);
    view_.ip = {1, 2, 3, 4};
    logic_->EscapeSteps();
    EXPECT_FALSE(fs::exists(settings_->File()));
    EXPECT_EQ(channels_.closeCount, 0);
}

TEST_F(MainDialogLogicTest, MessageCallbacksReachTheLiveObjectsPendingList) {
    std::string debug;
    DebugSink previous = SetDebugSink([&debug](std::string_view text) { debug += text; });
    MainDialogLogic& logic = Start();
    const LinkCallbacks callbacks = logic.Config().callbacks;
    MessageRecord message;
    message.SetCode(0x21);
    message.SetChannelNumber(1);
    message.SetDeviceAddress(5);
    logic.Messages().AddPending(message);

    MessageRecord out;
    EXPECT_EQ(callbacks.FetchMessage(nullptr, &out, 0), 1);  // a peek does not count
    EXPECT_EQ(out.Code(), 0x21u);
    EXPECT_EQ(callbacks.FetchMessage(nullptr, &out, 1), 2);
    EXPECT_EQ(callbacks.FetchMessage(nullptr, nullptr, 1), 0);
    EXPECT_EQ(callbacks.DescribeMessage(nullptr), 1);
    EXPECT_EQ(callbacks.DescribeMessage(&message), 1);  // retires the head
    EXPECT_EQ(logic.Messages().PendingCount(), 0u);
    EXPECT_EQ(debug, "05: - HardCode = 21(ma_ALARM) ; Param = 00\n");

    // Once the object is gone the engine gets blank answers.
    logic_.reset();
    EXPECT_EQ(callbacks.FetchMessage(nullptr, &out, 1), 0);
    EXPECT_EQ(callbacks.DescribeMessage(&message), 1);
    SetDebugSink(std::move(previous));
    EXPECT_EQ(debug, "05: - HardCode = 21(ma_ALARM) ; Param = 00\n");
}

// The record keeps a serial device name with its end marker, which the transport reads it
// up to: the longest name that leaves room for it is taken whole, one byte more is refused
// and leaves the channel a UDP channel.
TEST_F(MainDialogLogicTest, SerialDeviceNameFitsTheRecordWithItsEnd) {
    const size_t capacity = ChannelRecord{}.serialDevice.size();
    const std::string tooLong = "/dev/" + std::string(capacity - 5, 'x');
    ASSERT_EQ(tooLong.size(), capacity);
    {
        MainDialogLogic logic(view_, *settings_, "tarvu", channels_, NoAdapters);
        EXPECT_FALSE(logic.SetSerialMode(tooLong, 9600));
        logic.Initialise();
        EXPECT_EQ(logic.Request().kind, kChannelKindUdp);
    }
    const std::string longest = tooLong.substr(0, capacity - 1);
    MainDialogLogic logic(view_, *settings_, "tarvu", channels_, NoAdapters);
    EXPECT_TRUE(logic.SetSerialMode(longest, 9600));
    logic.Initialise();
    EXPECT_EQ(logic.Request().kind, kChannelKindSerial);
    const ChannelRecord* record = logic.LookupChannel(logic.Request());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->serialDevice.back(), '\0');
    EXPECT_EQ(std::string(record->serialDevice.data()), longest);
    EXPECT_EQ(record->remotePort, 9600u);
}

TEST_F(MainDialogLogicTest, CallbacksReachTheLiveObjectOnly) {
    MainDialogLogic& logic = Start();
    const LinkCallbacks callbacks = logic.Config().callbacks;

    uint8_t key[32];
    for (uint8_t i = 0; i < 32; ++i) {
        key[i] = static_cast<uint8_t>(0xA0 + i);
    }
    ChannelRequest request = logic.Request();
    EXPECT_EQ(logic.SaveChannelKey(request, key), 0);
    const std::string stored = Stored(kKeyGostKey, "Kanal №1");
    EXPECT_EQ(stored.size(), 95u);
    EXPECT_EQ(stored.substr(0, 6) + stored.substr(90), "A0 A1 BE BF");
    EXPECT_EQ(callbacks.LookupChannel(&request)->key[31], 0xBF);

    callbacks.SetStatusText(0, "first");
    callbacks.SetStatusText(1, "second");
    callbacks.SetStatusText(2, "ignored");
    EXPECT_EQ(view_.status[0] + view_.status[1], "firstsecond");

    // Received blocks are traced to the view and counted; sent blocks and frames are not.
    const uint8_t data[] = {0x7E, 0x01, 0x02, 0x7F};
    const nsAddress peer{0x0100000Au, 10001};
    callbacks.TraceData(nullptr, data, 4, 0, &peer, 10001, 0);
    callbacks.TraceData(nullptr, data + 1, 2, 0, &peer, 10001, 1);
    callbacks.TraceData(nullptr, data, 4, 1, &peer, 10001, 0);
    EXPECT_EQ(logic.ReceivedDatagrams(), 1u);
    ASSERT_EQ(view_.traceLines.size(), 3u);
    EXPECT_EQ(view_.traceLines[0].substr(12), " 010.000.000.001:10001 --> 7E 01 02 7F\n");
    EXPECT_EQ(view_.traceLines[1], std::string(31, ' ') + "... --> 01 02\n");

    // Once the object is gone the engine gets blank answers instead of a dangling object.
    logic_.reset();
    EXPECT_EQ(MainDialogLogic::Live(), nullptr);
    EXPECT_EQ(callbacks.LookupChannel(&request), nullptr);
    ASSERT_NE(callbacks.GetMainWindow(), nullptr);
    EXPECT_EQ(callbacks.GetMainWindow()->ReadPortText(), "");
    callbacks.TraceData(nullptr, data, 4, 0, &peer, 1, 0);
    EXPECT_EQ(view_.traceLines.size(), 3u);
}

}  // namespace
}  // namespace tarvu
