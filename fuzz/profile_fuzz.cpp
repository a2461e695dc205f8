// The settings file on any bytes: read it, write one key, read again. The written key reads
// back as written and every other key keeps its value, both on the text in memory and
// through the file functions (UTF-8 names and values, a code-page 1251 file on disk).
//
// Input: byte 0 picks the key to write (an existing one or a new name), then the value and
// names as length-prefixed strings, the rest is the file.

#include "fuzz/fuzz_check.h"
#include "platform/cp1251.h"
#include "platform/profile_file.h"
#include "platform/profile_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <fuzzer/FuzzedDataProvider.h>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

struct Entry {
    std::string section;
    std::string key;
};

// Every (section, key) name pair the text holds, read line by line as the file's layout has
// it; keys before the first section belong to none and are left out.
std::vector<Entry> ListEntries(std::string_view text) {
    std::vector<Entry> entries;
    std::optional<std::string> section;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        line = Trim(line);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            line.remove_prefix(1);
            section = std::string(Trim(line.substr(0, line.find(']'))));
            continue;
        }
        const std::string key(Trim(line.substr(0, line.find('='))));
        if (section && !section->empty() && !key.empty()) {
            entries.push_back({*section, key});
        }
    }
    return entries;
}

bool SameName(const Entry& a, std::string_view section, std::string_view key) {
    return tarvu::Cp1251EqualsIgnoreCase(a.section, section) &&
           tarvu::Cp1251EqualsIgnoreCase(a.key, key);
}

// What a read returns for a stored value: blanks around it and quotes around all of it go.
std::string Unquoted(std::string_view value) {
    value = Trim(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

// Writes `value` to (section, key) of `text`; checks the key and every other key afterwards.
void CheckTextWrite(const std::string& before, const std::vector<Entry>& entries,
                    const std::string& section, const std::string& key, const std::string& value) {
    std::string after = before;
    tarvu::SetProfileValue(after, section, key, value);
    const auto written = tarvu::FindProfileValue(after, section, key);
    FUZZ_CHECK(written.has_value());
    FUZZ_CHECK(*written == Unquoted(value));
    for (const Entry& e : entries) {
        if (!SameName(e, section, key)) {
            FUZZ_CHECK(tarvu::FindProfileValue(before, e.section, e.key) ==
                       tarvu::FindProfileValue(after, e.section, e.key));
        }
    }
    // Writing the same value again changes nothing. (Blanks around a value are stored with
    // it and join the kept blanks around '=' on a rewrite, so only a trimmed value is stable.)
    if (Trim(value) == value) {
        std::string again = after;
        tarvu::SetProfileValue(again, section, key, value);
        FUZZ_CHECK(again == after);
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The settings file of this run, in a fresh directory removed at exit. Memory-backed when the
// machine has /dev/shm: every write syncs the file, which on a disk costs milliseconds.
const std::filesystem::path& ScratchFile() {
    static const std::filesystem::path path = [] {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string dir = (base / "tarvu-fuzz-XXXXXX").string();
        FUZZ_CHECK(mkdtemp(dir.data()) != nullptr);
        static std::filesystem::path created;
        created = dir;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(created, ignored);
        });
        return std::filesystem::path(dir) / "settings.ini";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const uint8_t choice = input.ConsumeIntegral<uint8_t>();
    const std::string value = input.ConsumeRandomLengthString(300);
    std::string section = input.ConsumeRandomLengthString(40);
    std::string key = input.ConsumeRandomLengthString(40);
    const std::string text = input.ConsumeRemainingBytesAsString();

    const std::vector<Entry> entries = ListEntries(text);
    if ((choice & 1) != 0 && !entries.empty()) {
        const Entry& e = entries[(choice >> 1) % entries.size()];
        section = e.section;
        key = e.key;
    }

    // In memory, on the file's own bytes.
    if (tarvu::IsValidProfileEntry(section, key, value)) {
        CheckTextWrite(text, entries, section, key, value);
    }

    // Through the file: names and value are UTF-8 there, the file keeps code page 1251, and
    // blanks around the names are dropped before they are stored.
    const std::filesystem::path& file = ScratchFile();
    WriteFile(file, text);
    const std::string section8 = tarvu::Cp1251ToUtf8(section);
    const std::string key8 = tarvu::Cp1251ToUtf8(key);
    const std::string value8 = tarvu::Cp1251ToUtf8(value);
    section = std::string(Trim(section));
    key = std::string(Trim(key));
    const bool valid = tarvu::IsValidProfileEntry(section, key, value);
    const bool stored = tarvu::WriteProfileString(file, section8, key8, value8);
    FUZZ_CHECK(stored == valid);
    const std::string after = ReadFile(file);
    if (!stored) {
        FUZZ_CHECK(after == text);
        return 0;
    }
    std::string expected = Unquoted(value);
    expected = expected.substr(0, expected.find('\0'));
    expected = tarvu::Cp1251ToUtf8(std::string_view(expected).substr(0, tarvu::kProfileValueLimit));
    FUZZ_CHECK(tarvu::ReadProfileString(file, section8, key8) == expected);
    for (const Entry& e : entries) {
        if (!SameName(e, section, key)) {
            FUZZ_CHECK(tarvu::FindProfileValue(text, e.section, e.key) ==
                       tarvu::FindProfileValue(after, e.section, e.key));
        }
    }
    return 0;
}
