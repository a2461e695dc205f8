#include "app/decode_setting.h"

#include "app/settings.h"
#include "app/settings_keys.h"

#include <string_view>

namespace tarvu {
namespace {

constexpr std::string_view kSection = "TARVU";
constexpr std::string_view kKey = "РАСШИФРОВКА";

}  // namespace

bool StoredDecodeSwitch(const Settings& settings) {
    return settings.Read(kSection, kKey) == kValueYes;
}

void StoreDecodeSwitch(const Settings& settings, bool on) {
    settings.SaveIfChanged(kSection, kKey, on ? kValueYes : kValueNo);
}

}  // namespace tarvu
