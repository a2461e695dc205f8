#include "app/main_dialog_logic.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "fake_channel_service.h"
#include "fake_dialog_view.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

bool NoAdapters(std::vector<LocalAddress>&) {
    return true;
}

// The packet of the last Send is stored and sent again by a Send with an empty field; a
// long one must come back whole, not cut at the 259 characters of the other keys.
TEST(StoredPacket, AnEmptyFieldResendsALongPacketWhole) {
    const TempDirectory dir;
    Settings settings(dir / "settings.ini");
    testing::FakeDialogView view;
    testing::FakeChannelService channels;
    MainDialogLogic logic(view, settings, "tarvu", channels, NoAdapters);
    logic.Initialise();

    for (const size_t length : {size_t{100}, size_t{512}}) {
        std::vector<uint8_t> packet(length);
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            packet[i] = static_cast<uint8_t>(i == length - 1 ? 0xAB : i);
            static constexpr char kDigits[] = "0123456789ABCDEF";
            text += i == 0 ? "" : " ";
            text += kDigits[packet[i] >> 4];
            text += kDigits[packet[i] & 0x0F];
        }
        view.packet = text;
        logic.Send();
        view.packet.clear();
        logic.Send();
        ASSERT_EQ(channels.submitted.size() % 2, 0u);
        EXPECT_EQ(channels.submitted.back(), packet) << length;
        EXPECT_EQ(settings.Read(kSectionUdp, kKeyPacket), text) << length;
    }
}

}  // namespace
}  // namespace tarvu
