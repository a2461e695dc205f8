// tarvu.exe when things go wrong, giving the messages the Linux dialog gives: a read port that
// another program holds, at start and when typed; a settings file that cannot be written;
// closing while a flood of datagrams is traced. And where a copy under Program Files keeps
// its settings.

#include "tests/win32_dialog/dialog_fixture.h"

#include <atomic>
#include <cstring>

namespace tarvu::testing {
namespace {

const std::wstring kPortBoxCaption = L"cnsLibnetProvider::cnsLibnetProvider";
const std::wstring kPortBoxText = L"Проблема с инициализаце(порт занят?)";

uint32_t Loopback() {
    const uint8_t octets[4] = {127, 0, 0, 1};
    uint32_t address = 0;
    std::memcpy(&address, octets, sizeof address);
    return address;
}

TEST_F(DialogTest, ATakenReadPortGivesTheTransportsBoxAtStartAndWhenTyped) {
    PlainUdpSocket holder;
    std::string error;
    ASSERT_TRUE(holder.Bind(0, error)) << error;
    StoreReadPort(holder.LocalPort());
    ASSERT_TRUE(process_.Start(program_, {}, folder_.Path()));

    // The box comes during start-up; the dialog then shows without a channel.
    const std::optional<Box> atStart = process_.AnswerBox();
    ASSERT_TRUE(atStart) << process_.Output();
    EXPECT_EQ(atStart->caption, kPortBoxCaption);
    EXPECT_EQ(atStart->text, kPortBoxText);
    HWND window = process_.WaitForDialog();
    ASSERT_NE(window, nullptr);
    DialogWindow dialog(window);
    EXPECT_FALSE(process_.WaitForBox(500)) << "a second box at start";

    const uint16_t free = FreePort();
    ASSERT_TRUE(dialog.Type(1046, std::to_wstring(free)));
    EXPECT_FALSE(CanBind(free));
    EXPECT_FALSE(process_.FindBox());

    // Typed, the taken port gives the same box once, and the dialog goes on.
    ASSERT_TRUE(::PostMessageW(dialog.Item(1046), EM_SETSEL, 0, -1));
    for (const wchar_t c : std::to_wstring(holder.LocalPort())) {
        ::PostMessageW(dialog.Item(1046), WM_CHAR, c, 1);
    }
    const std::optional<Box> typed = process_.AnswerBox();
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->caption, kPortBoxCaption);
    EXPECT_EQ(typed->text, kPortBoxText);
    EXPECT_TRUE(WaitUntil([&] { return dialog.Text(1046) == std::to_wstring(holder.LocalPort()); },
                          kMessageTimeoutMs));
    EXPECT_FALSE(process_.WaitForBox(500));
    EXPECT_TRUE(CanBind(free));

    ASSERT_TRUE(dialog.Click(IDOK));
    ExpectEnds();
}

TEST_F(DialogTest, ASettingsFileThatCannotBeWrittenIsReportedOnceAndChangesNothing) {
    // A read-only file in a folder with a Cyrillic name, given on the command line. Its empty
    // "IP ADDRES" makes start-up write the default, which fails: the box comes before the
    // dialog shows, captioned with the program's name, as on Linux.
    const fs::path folder = folder_.Path() / fs::path(L"настройки");
    fs::create_directories(folder);
    const fs::path file = folder / "settings.ini";
    const std::string stored =
        Utf8ToCp1251("[UDP]\r\nЗАМЕНА 7E 7F 7D=нет\r\nПОРТ IN=" + std::to_string(FreePort()) +
                     "\r\nПОРТ OUT=10001\r\nIP ADDRES=\r\nPACKETIK=7E 7F\r\n");
    WriteBytes(file, stored);
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(process_.Start(program_, {L"--settings", file.wstring()}, folder_.Path()));
    const std::optional<Box> box = process_.AnswerBox();
    ASSERT_TRUE(box) << process_.Output();
    EXPECT_EQ(box->caption, L"tarvu");
    EXPECT_EQ(box->text,
              L"Не удалось сохранить настройки в " + file.wstring() + L" (нет доступа на запись?)");
    HWND window = process_.WaitForDialog();
    ASSERT_NE(window, nullptr);
    DialogWindow dialog(window);

    // Later failures (the packet stored by "Send!") are not told again.
    ASSERT_TRUE(dialog.Type(1040, L"01 02"));
    ::PostMessageW(dialog.Item(1041), BM_CLICK, 0, 0);
    EXPECT_FALSE(process_.WaitForBox(1500)) << "the failure was told twice";
    EXPECT_EQ(dialog.Text(1040), L"01 02");
    dialog.PressKey(1040, VK_ESCAPE);
    ExpectEnds();
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(file), stored);
}

TEST_F(DialogTest, ClosingDuringAFloodSavesTheFieldsAndEndsWithinASecond) {
    const uint16_t readPort = FreePort();
    StoreReadPort(readPort);
    HWND window = StartDialog();
    ASSERT_NE(window, nullptr);
    DialogWindow dialog(window);
    ASSERT_TRUE(dialog.Type(1040, L"0A 0B"));

    // 10,000 datagrams a second from another thread, in 1 ms slices.
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> sent{0};
    std::thread flood([&] {
        PlainUdpSocket socket;
        std::string error;
        if (!socket.Bind(0, error)) {
            return;
        }
        const uint8_t datagram[16] = {0x11, 0x01, 0x00, 0x30, 0x00};
        const auto start = std::chrono::steady_clock::now();
        for (uint64_t slice = 0; !stop.load(); ++slice) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(slice));
            for (int i = 0; i < 10; ++i) {
                socket.SendTo({Loopback(), readPort}, datagram, sizeof datagram);
                sent.fetch_add(1);
            }
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_GT(dialog.TraceLines().size(), 0u);

    // The close box, while the flood goes on.
    const auto closing = std::chrono::steady_clock::now();
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    const std::optional<DWORD> code = process_.Wait(10000);
    const auto ended = std::chrono::steady_clock::now();
    stop.store(true);
    flood.join();
    ASSERT_TRUE(code) << "tarvu.exe did not end under the flood";
    EXPECT_EQ(*code, 0u);
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(ended - closing).count();
    std::printf("closing under a flood of %llu datagrams: %lld ms to the end of the process\n",
                static_cast<unsigned long long>(sent.load()), static_cast<long long>(took));
    EXPECT_LT(took, 1000);

    // The close box runs the OK steps: the closing records are there.
    const std::string saved = Cp1251ToUtf8(ReadBytes(Settings()));
    EXPECT_NE(saved.find("MAC-адрес(hex)=0A 0B\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[SHIFRACIA]\r\nRSA & GOST=нет\r\n"), std::string::npos) << saved;
}

TEST_F(DialogTest, ACopyUnderProgramFilesKeepsItsSettingsInAppData) {
    wchar_t programFiles[MAX_PATH] = {};
    wchar_t appData[MAX_PATH] = {};
    ASSERT_GT(::GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH), 0u);
    ASSERT_GT(::GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH), 0u);
    const fs::path installed = fs::path(programFiles) / folder_.Path().filename();
    fs::create_directories(installed);
    fs::copy_file(program_, installed / "tarvu.exe", fs::copy_options::overwrite_existing);
    const fs::path userFile = fs::path(appData) / "tarvu" / "settings.ini";
    const bool hadUserFile = fs::exists(userFile);
    const std::string userBytes = hadUserFile ? ReadBytes(userFile) : std::string();
    fs::create_directories(userFile.parent_path());
    const uint16_t readPort = FreePort();
    WriteBytes(userFile, Utf8ToCp1251("[UDP]\r\nПОРТ IN=" + std::to_string(readPort) + "\r\n"));

    program_ = installed / "tarvu.exe";
    HWND window = StartDialog();
    if (window != nullptr) {
        EXPECT_EQ(DialogWindow(window).Text(1046), std::to_wstring(readPort));
        DialogWindow(window).PressKey(1040, VK_ESCAPE);
        ExpectEnds();
    }
    const std::string saved = Cp1251ToUtf8(ReadBytes(userFile));
    EXPECT_NE(saved.find("PACKETIK=7E 7F\r\n"), std::string::npos) << saved;
    EXPECT_FALSE(fs::exists(installed / "settings.ini"));

    std::error_code ec;
    fs::remove_all(installed, ec);
    if (hadUserFile) {
        WriteBytes(userFile, userBytes);
    } else {
        fs::remove(userFile, ec);
    }
}

}  // namespace
}  // namespace tarvu::testing
