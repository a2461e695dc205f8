// End-to-end tests of `tarvu-cli gost encrypt`: the printed cipher must be what the packet
// cipher makes of the printed pad, the body and the key.

#include "client_test_support.h"
#include "crypto/gost_cipher.h"
#include "link/hex_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvu {
namespace {

using testing::RunCli;

const std::string kKey = "00112233445566778899AABBCCDDEEFF 0123456789ABCDEF FEDCBA9876543210";

std::vector<uint8_t> Parse(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(ParseHexStrict(text, bytes, error)) << error;
    return bytes;
}

TEST(GostCli, EncryptPrintsPadAndCipher) {
    testing::TempDirectory dir;
    GostKey key;
    const std::vector<uint8_t> keyBytes = Parse(kKey);
    std::copy(keyBytes.begin(), keyBytes.end(), key.begin());
    std::vector<uint8_t> longest(246, 0x5A);
    const std::pair<std::vector<std::string>, std::vector<uint8_t>> cases[] = {
        {{"01", "02", "03"}, {1, 2, 3}},
        {{"0a0B0c"}, {0x0A, 0x0B, 0x0C}},
        {{}, {}},
        {{""}, {}},
        {{"00 01 02 03 04 05 06"}, {0, 1, 2, 3, 4, 5, 6}},
        {{FormatHexBytes(longest)}, longest},
    };
    for (const auto& [words, body] : cases) {
        std::vector<std::string> args = {"gost", "encrypt", "--key", kKey};
        args.insert(args.end(), words.begin(), words.end());
        const testing::CliRun run = RunCli(dir, args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        // Exactly two lines of upper-case hex with single blanks.
        const size_t split = run.out.find("\ncipher: ");
        ASSERT_TRUE(run.out.starts_with("pad: ") && split != std::string::npos &&
                    run.out.ends_with("\n"))
            << run.out;
        const std::string padText = run.out.substr(5, split - 5);
        const std::string cipherText = run.out.substr(split + 9, run.out.size() - split - 10);
        const std::vector<uint8_t> pad = Parse(padText);
        const std::vector<uint8_t> cipher = Parse(cipherText);
        EXPECT_EQ(FormatHexBytes(pad) + "|" + FormatHexBytes(cipher), padText + "|" + cipherText);
        ASSERT_EQ(pad.size(), GostPadCount(body.size()) + 1);
        ASSERT_EQ(pad[0], GostPadCount(body.size()));

        // Pad bytes, body, count; chained; blocks encrypted.
        std::vector<uint8_t> expected(pad.begin() + 1, pad.end());
        expected.insert(expected.end(), body.begin(), body.end());
        expected.push_back(pad[0]);
        for (size_t i = 1; i < expected.size(); ++i) {
            const auto x = static_cast<uint8_t>(expected[i] ^ expected[i - 1]);
            expected[i] = static_cast<uint8_t>((x << 1) | (x >> 7));
        }
        GostEncryptBlocks(expected.data(), expected.size() / 8, GostExpandKey(key),
                          kGostRoundTables);
        EXPECT_EQ(cipher, expected) << run.out;
    }
}

TEST(GostCli, RefusesBadKeyHexOrLength) {
    testing::TempDirectory dir;
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"--key", "00 11", "01"}, "32 bytes"},
        {{"--key", kKey + " 00", "01"}, "32 bytes"},
        {{"--key", "G" + kKey.substr(1), "01"}, "'G'"},
        {{"--key", kKey, "0"}, ""},
        {{"--key", kKey, "zz"}, "'z'"},
        {{"--key", kKey, std::string(247 * 2, 'A')}, "247"},
        {{"01"}, "--key"},
    };
    for (const auto& [args, says] : bad) {
        std::vector<std::string> full = {"gost", "encrypt"};
        full.insert(full.end(), args.begin(), args.end());
        const testing::CliRun run = RunCli(dir, full);
        EXPECT_EQ(run.exitCode, 2) << args.back();
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace tarvu
