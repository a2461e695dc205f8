// End-to-end tests of `tarvu-cli gost encrypt`: the printed pad record and cipher must be
// what the packet cipher makes of that pad, body and key.

#include "client_test_support.h"
#include "crypto/gost_cipher.h"
#include "link/hex_text.h"

#include <gtest/gtest.h>

#include <regex>

namespace tarvu {
namespace {

using testing::RunCli;
using testing::TempDirectory;

const char* const kKeyText =
    "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 01 23 45 67 89 AB CD EF FE DC BA 98 76 54 "
    "32 10";

std::vector<uint8_t> Parse(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(ParseHexStrict(text, bytes, error)) << error;
    return bytes;
}

// Splits "pad: ..\ncipher: ..\n" and checks the hex is upper case with single blanks.
bool SplitOutput(const std::string& out, std::vector<uint8_t>& pad, std::vector<uint8_t>& cipher) {
    static const std::regex kShape(
        "pad: ([0-9A-F]{2}(?: [0-9A-F]{2})*)\ncipher: ([0-9A-F]{2}(?: [0-9A-F]{2})*)\n");
    std::smatch m;
    if (!std::regex_match(out, m, kShape)) {
        return false;
    }
    pad = Parse(m[1]);
    cipher = Parse(m[2]);
    return true;
}

// Rebuilds the cipher from the printed pad bytes: pad, body, count, chained, then blocks.
std::vector<uint8_t> Expected(const std::vector<uint8_t>& pad, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> data(pad.begin() + 1, pad.end());
    data.insert(data.end(), body.begin(), body.end());
    data.push_back(pad[0]);
    for (size_t i = 1; i < data.size(); ++i) {
        const auto x = static_cast<uint8_t>(data[i] ^ data[i - 1]);
        data[i] = static_cast<uint8_t>((x << 1) | (x >> 7));
    }
    GostKey key;
    const std::vector<uint8_t> keyBytes = Parse(kKeyText);
    std::copy(keyBytes.begin(), keyBytes.end(), key.begin());
    for (size_t off = 0; off + 8 <= data.size(); off += 8) {
        GostEncryptBlock(data.data() + off, GostExpandKey(key), kGostRoundTables);
    }
    return data;
}

TEST(GostCli, EncryptPrintsPadAndCipher) {
    TempDirectory dir;
    struct Case {
        std::vector<std::string> words;
        std::vector<uint8_t> body;
    };
    std::vector<uint8_t> longest(246);
    std::string longestText;
    for (size_t i = 0; i < longest.size(); ++i) {
        longest[i] = static_cast<uint8_t>(i * 7);
    }
    longestText = FormatHexBytes(longest);
    const Case cases[] = {
        {{"01", "02", "03"}, {1, 2, 3}},
        {{"0a0B0c"}, {0x0A, 0x0B, 0x0C}},
        {{}, {}},
        {{""}, {}},
        {{"00 01 02 03 04 05 06"}, {0, 1, 2, 3, 4, 5, 6}},
        {{longestText}, longest},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"gost", "encrypt", "--key", kKeyText};
        args.insert(args.end(), c.words.begin(), c.words.end());
        const testing::CliRun run = RunCli(dir, args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::vector<uint8_t> pad;
        std::vector<uint8_t> cipher;
        ASSERT_TRUE(SplitOutput(run.out, pad, cipher)) << run.out;
        ASSERT_EQ(pad.size(), GostPadCount(c.body.size()) + 1) << run.out;
        EXPECT_EQ(pad[0], GostPadCount(c.body.size()));
        EXPECT_EQ(cipher.size(), c.body.size() + pad.size());
        EXPECT_EQ(cipher, Expected(pad, c.body)) << run.out;
    }
}

TEST(GostCli, RefusesBadKeyHexOrLength) {
    TempDirectory dir;
    std::string tooLong;
    for (int i = 0; i < 247; ++i) {
        tooLong += "AA ";
    }
    const std::vector<std::vector<std::string>> bad = {
        {"gost", "encrypt", "--key", "00 11", "01"},  // key of 2 bytes
        {"gost", "encrypt", "--key", std::string(kKeyText) + " 00", "01"},
        {"gost", "encrypt", "--key", std::string(kKeyText).replace(0, 1, "G"), "01"},
        {"gost", "encrypt", "--key", kKeyText, "0"},  // odd digit count
        {"gost", "encrypt", "--key", kKeyText, "zz"},
        {"gost", "encrypt", "--key", kKeyText, tooLong},
        {"gost", "encrypt", "01"},  // no key
    };
    for (const auto& args : bad) {
        const testing::CliRun run = RunCli(dir, args);
        EXPECT_EQ(run.exitCode, 2) << args.back();
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_FALSE(run.err.empty());
    }
    const testing::CliRun shortKey = RunCli(dir, bad[0]);
    EXPECT_NE(shortKey.err.find("32 bytes"), std::string::npos) << shortKey.err;
    const testing::CliRun longBody = RunCli(dir, bad[5]);
    EXPECT_NE(longBody.err.find("247"), std::string::npos) << longBody.err;
}

}  // namespace
}  // namespace tarvu
