#pragma once
// Sections, keys and default values of settings.ini, exactly as stored (UTF-8 here, code
// page 1251 in the file).

#include <array>
#include <string>
#include <string_view>

namespace tarvu {

// Section "UDP": the dialog's fields and the closing records.
inline constexpr std::string_view kSectionUdp = "UDP";
inline constexpr std::string_view kKeySubstitution = "ЗАМЕНА 7E 7F 7D";
inline constexpr std::string_view kKeyReadPort = "ПОРТ IN";
inline constexpr std::string_view kKeySendPort = "ПОРТ OUT";
inline constexpr std::string_view kKeyIpAddress = "IP ADDRES";
inline constexpr std::string_view kKeyPacket = "PACKETIK";
inline constexpr std::string_view kKeyMacAddress = "MAC-адрес(hex)";

// Section "SHIFRACIA": the cipher-mode marker.
inline constexpr std::string_view kSectionCipher = "SHIFRACIA";
inline constexpr std::string_view kKeyRsaGost = "RSA & GOST";

// Sections "Kanal №<n>", one per channel number; "MAC-адрес(hex)" appears there too.
inline constexpr std::string_view kSectionChannelFormat = "Kanal №%d";
inline constexpr std::string_view kKeyGostKey = "ГОСТ 28147-89 КЛЮЧ(hex)";

// Values.
inline constexpr std::string_view kValueYes = "да";
inline constexpr std::string_view kValueNo = "нет";
inline constexpr std::string_view kDefaultPort = "10001";
inline constexpr std::string_view kDefaultIpAddress = "";
inline constexpr std::string_view kDefaultPacket = "7E 7F";

// The section of channel `channel`: "Kanal №" and the number in decimal without leading zeros.
inline std::string ChannelSection(int channel) {
    return "Kanal №" + std::to_string(channel);
}

struct SettingDefault {
    std::string_view key;
    std::string_view value;
};

// The "UDP" keys that start-up reads with their defaults, in the order it reads them (which
// is the order in which a first start writes them).
inline constexpr std::array<SettingDefault, 5> kStartupDefaults = {{
    {kKeySubstitution, kValueNo},
    {kKeyReadPort, kDefaultPort},
    {kKeySendPort, kDefaultPort},
    {kKeyIpAddress, kDefaultIpAddress},
    {kKeyPacket, kDefaultPacket},
}};

}  // namespace tarvu
