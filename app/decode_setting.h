#pragma once
// "Расшифровка пакетов" kept in the settings file: section "TARVU", key "РАСШИФРОВКА", "да" or
// "нет". Only a stored "да" turns decoding on; the key is written only when the engineer
// changes the switch, so a first start leaves the file as before.

namespace tarvu {

class Settings;

bool StoredDecodeSwitch(const Settings& settings);
void StoreDecodeSwitch(const Settings& settings, bool on);

}  // namespace tarvu
