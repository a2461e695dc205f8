#include "trace/message_catalogue.h"

#include <algorithm>
#include <iterator>

namespace tarvu {
namespace {

// clang-format off
constexpr CatalogueEntry kCatalogue[] = {
    {0x00, "ma_NONE"},
    {0x18, "Ответ на команду запуска проверки ШС КЕБ (0x17)"},
    {0x19, "Подтверждение получения команды установки состояния КЕБ"},
    {0x1A, "Набор кода для взятия КЕБ"},
    // Alarms
    {0x21, "ma_ALARM"}, {0x22, "ma_SABOT"}, {0x23, "ma_BREAK_TANK"}, {0x24, "ma_NOLOCK"},
    {0x25, "ma_ALARM_LOCK"}, {0x26, "ma_TIME_ASEQ"}, {0x27, "ma_ALARM_SLNT"},
    {0x28, "ma_SELECT_CD"}, {0x29, "ma_NOLOCK_2"}, {0x2A, "ma_NOFULL_LOCK"},
    {0x2B, "ma_ALARM_FIRE"}, {0x2C, "ma_ALARM_KTS"}, {0x2D, "ma_ALARM_SLNT_LOCK"},
    {0x2E, "ma_ALARM_FIRE_A"}, {0x31, "ma_ALARM_R"}, {0x3B, "ma_ALARM_FIRE_R"},
    {0x3C, "ma_ALARM_KTS_R"}, {0x3E, "ma_ALARM_FIRE_A_R"},
    // Faults
    {0x40, "ma_DISREPAIR"}, {0x41, "ma_DISRP_ACCUM"}, {0x42, "ma_DISRP_KZ"},
    {0x43, "ma_DISRP_BREAK"}, {0x44, "ma_DISRP_HI"}, {0x45, "ma_DISRP_LOW"},
    {0x46, "ma_DISRP_IMIT_UT"}, {0x47, "ma_DISRP_IMIT_FIRE"}, {0x48, "ma_DISRP_ACCUM_N"},
    {0x52, "ma_DISRP_KZ_R"}, {0x53, "ma_DISRP_BREAK_R"},
    // States and events; the tab in 66 is part of its printed form.
    {0x5E, "ma_MASTER_KEB"}, {0x60, "ma_DUTY"}, {0x61, "ma_START"}, {0x62, "ma_RELAX"},
    {0x63, "ma_CLOSE_TANK"}, {0x64, "ma_TRAIN_BGN"}, {0x65, "ma_TRAIN_END"},
    {0x66, "ma_RESET_ALARM_KTS\t"}, {0x68, "ma_IN"}, {0x69, "ma_RELAX_ACCUM"},
    {0x6F, "ma_EVENT_SENS"}, {0x81, "ma_LOCK"}, {0x82, "ma_UNLOCK"}, {0x83, "ma_PATROL"},
    {0x84, "ma_UPS_ON"}, {0x85, "ma_UPS_OFF"}, {0x86, "ma_UNLOCK_LOCK"},
    {0x87, "ma_RESET_FIRE"}, {0x88, "ma_PATROL_C"}, {0x89, "ma_RESET_ALARM"},
    {0x8A, "ma_RESET_DISRP"}, {0x8B, "ma_RESET_SIRENA"}, {0x8C, "ma_SIRENA_ON"},
    {0x8D, "ma_SIRENA_OFF"},
    // Information replies
    {0x91, "ma_SENS_INFO"}, {0x93, "ma_SENS_DELAY"}, {0x95, "ma_SENS_STATUS"},
    {0x96, "ma_INFO_PASS"}, {0x97, "ma_INFO_GROUP"}, {0x98, "ma_ASQ_USER"},
    {0x99, "ma_STATUS_GROUP"}, {0x9A, "ma_EXT_COUNT"}, {0x9B, "ma_EXT_INFO"},
    {0x9C, "ma_DELAY_OUT"}, {0x9D, "ma_EXT_STATUS"}, {0x9F, "ma_ANSWER_DEVICE"},
    // Commands A0 to BF
    {0xA0, "ca_MASK"}, {0xA1, "ca_GRP_ASK"}, {0xA2, "ca_EMIT"}, {0xA3, "ca_RELOCK"},
    {0xA4, "ca_RELOCK_UT"}, {0xA5, "ca_JUP_MAN"}, {0xA6, "ca_SET_1"}, {0xA7, "ca_SET_PASS"},
    {0xA8, "ca_PARM_1"}, {0xAA, "ca_EXCLUDE"}, {0xAB, "ca_VERSION"}, {0xAC, "ca_INIT"},
    {0xAE, "ca_MASTER_KEB"}, {0xB0, "ca_GET_ID"}, {0xB1, "ca_ADD_DEVICE_1"},
    {0xB2, "ca_ADD_DEVICE_2"}, {0xB3, "ca_ADD_DEVICE_3"}, {0xB4, "ca_HOT_RESET"},
    {0xB5, "ca_ADD_TYPE"}, {0xB6, "ca_RESET"}, {0xB7, "ca_GET_USER"}, {0xB8, "ca_SET_USER"},
    {0xB9, "ca_ADD_USER"}, {0xBA, "ca_DEL_USER"}, {0xBB, "ca_GET_DATA"},
    {0xBC, "ca_SET_DATA"}, {0xBD, "ca_DEL_DEVICE"}, {0xBE, "ca_SET_PWD"},
    {0xBF, "ca_RESET_ETC"},
    // Replies C0 to CF; C3 shares its name with E3.
    {0xC0, "ma_GRP_STAT"}, {0xC1, "ma_JUP_MANUAL"}, {0xC2, "ma_HARD_RELOCK"},
    {0xC3, "ma_VERSION_2"}, {0xC4, "ma_LINE_TYPE"}, {0xC5, "ma_ERR_PARM"},
    {0xC6, "ma_NOREADY"}, {0xC7, "ma_TROUBLE"}, {0xC8, "ma_EXCLUDE"}, {0xC9, "ma_RELOCK"},
    {0xCA, "ma_GRP_STAT_D"}, {0xCC, "ma_ERR_PARM_GROUP"}, {0xCD, "ma_FIRE_ID_1"},
    {0xCE, "ma_FIRE_ID_2"}, {0xCF, "ma_FIRE_ID_3"},
    // Commands D0 to DF
    {0xD0, "ca_SET_LINK_EX2"}, {0xD1, "ca_GET_SENS_TYPE"}, {0xD2, "ca_SET_SENS_TYPE"},
    {0xD3, "ca_GET_SENS_DELAY"}, {0xD4, "ca_SET_SENS_DELAY"}, {0xD5, "ca_GET_SENS_GROUP"},
    {0xD6, "ca_SET_SENS_GROUP"}, {0xD7, "ca_GET_GROUP"}, {0xD8, "ca_SET_GROUP"},
    {0xD9, "ca_GET_DELAY_OUT"}, {0xDA, "ca_SET_DELAY_OUT"}, {0xDB, "ma_GET_DATA"},
    {0xDC, "ma_SET_DATA"}, {0xDD, "ca_GET_LINK"}, {0xDE, "ca_SET_LINK"},
    {0xDF, "ca_SET_LINK_EX"},
    // Replies E1 to F3; E1 is a name of its own, not the fall-back.
    {0xE1, "ma_UNKNOWN"}, {0xE2, "ma_VERSION"}, {0xE3, "ma_VERSION_2"},
    {0xE4, "ma_EDIT_TIME"}, {0xE5, "ma_ANSWER_LINK"}, {0xE6, "ma_ANSWER_LINK_EX"},
    {0xE7, "ma_ANSWER_LINK_EX2"}, {0xE8, "ma_USER_INFO"}, {0xE9, "ma_GET_CFG_DEVICE"},
    {0xED, "ma_EMIT"}, {0xEE, "ma_EMIT_SAVE"}, {0xF0, "ma_TM_HARD_20"},
    {0xF1, "ma_TM_BELL_21"}, {0xF2, "ma_TM_WEAPON"}, {0xF3, "ma_SUBST_RESET"},
    // The mai_ group
    {0xF5, "mai_CHECK"}, {0xF6, "mai_LOCK_KTS"}, {0xF7, "mai_LOCK_OPS"},
    {0xF8, "mai_LOCK_OPSPP"}, {0xF9, "mai_UNLOCK"}, {0xFA, "mai_CANCEL"},
    {0xFB, "mai_RELOCK"}, {0xFC, "mai_LOCK"},
    {0xFF, "ca_CHANGE_GYPHER"},
    // The application's pseudo messages
    {0x300, "ma_CHANGE_IP"}, {0x301, "ma_MAC"},
};
// clang-format on

constexpr bool IsAscending() {
    for (size_t i = 1; i < std::size(kCatalogue); ++i) {
        if (kCatalogue[i - 1].code >= kCatalogue[i].code) {
            return false;
        }
    }
    return true;
}
static_assert(IsAscending(), "the lookup relies on ascending codes");

constexpr char kUnnamed[] = "? ? ?";

}  // namespace

std::span<const CatalogueEntry> CatalogueEntries() {
    return kCatalogue;
}

const char* FindCodeName(uint32_t code) {
    const auto it = std::lower_bound(
        std::begin(kCatalogue), std::end(kCatalogue), code,
        [](const CatalogueEntry& entry, uint32_t key) { return entry.code < key; });
    return it != std::end(kCatalogue) && it->code == code ? it->name : nullptr;
}

std::string FormatHexCode(uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char reversed[8];
    int n = 0;
    do {
        reversed[n++] = kDigits[value & 0x0F];
        value >>= 4;
    } while (value != 0);
    std::string text;
    if (n < 2) {
        text += '0';
    }
    while (n > 0) {
        text += reversed[--n];
    }
    return text;
}

std::string DescribeCode(uint32_t code) {
    const char* name = FindCodeName(code);
    std::string text = FormatHexCode(code);
    text += '(';
    text += name != nullptr ? name : kUnnamed;
    text += ')';
    return text;
}

const char* FindParameterName(uint8_t parameter) {
    switch (parameter) {
        case 0x9D:
            return "PARAM_LOST_ACCUM_R";
        case 0x9E:
            return "PARAM_LOST_ACCUM";
        case 0xCE:
            return "PARAM_RELAX_ACCUM";
        case 0xEE:
            return "PARAM_SUBST";
        default:
            return nullptr;
    }
}

std::string DescribeParameter(uint8_t parameter) {
    std::string text = FormatHexCode(parameter);
    if (const char* name = FindParameterName(parameter)) {
        text += '(';
        text += name;
        text += ')';
    }
    return text;
}

}  // namespace tarvu
