// End-to-end tests of `tarvu-cli rsa keygen`: the field lines, their sizes and n = p * q,
// and the error lines.

#include "client_test_support.h"
#include "crypto/big_num.h"
#include "link/hex_text.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tarvu {
namespace {

using testing::RunCli;

TEST(RsaCli, KeygenPrintsEveryField) {
    testing::TempDirectory dir;
    const std::vector<std::string> names = {
        "bits",   "modulus",   "publicExponent", "privateExponent", "prime1",
        "prime2", "exponent1", "exponent2",      "coefficient"};
    const size_t sizes[] = {2, 128, 128, 128, 64, 64, 64, 64, 64};
    for (const auto& [bits, exponent] :
         {std::pair{"256", "65537"}, {"512", "3"}, {"1024", "65537"}}) {
        const testing::CliRun run =
            RunCli(dir, {"rsa", "keygen", "--bits", bits, "--exponent", exponent});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::vector<std::vector<uint8_t>> fields;
        std::istringstream in(run.out);
        for (std::string line; std::getline(in, line);) {
            const size_t colon = line.find(": ");
            ASSERT_NE(colon, std::string::npos) << line;
            EXPECT_EQ(line.substr(0, colon), names[fields.size()]);
            std::vector<uint8_t> bytes;
            std::string error;
            ASSERT_TRUE(ParseHexStrict(line.substr(colon + 2), bytes, error)) << error;
            EXPECT_EQ(FormatHexBytes(bytes), line.substr(colon + 2)) << "upper case, single blanks";
            EXPECT_EQ(bytes.size(), sizes[fields.size()]) << line;
            fields.push_back(bytes);
        }
        ASSERT_EQ(fields.size(), names.size()) << run.out;
        EXPECT_EQ(std::to_string((fields[0][0] << 8) | fields[0][1]), bits);
        EXPECT_EQ(fields[2][127], std::string(exponent) == "3" ? 3 : 1);

        BnDigit p[16];
        BnDigit q[16];
        BnDigit n[32];
        BnDigit product[32];
        BnDecode(n, 32, fields[1].data(), fields[1].size());
        BnDecode(p, 16, fields[4].data(), fields[4].size());
        BnDecode(q, 16, fields[5].data(), fields[5].size());
        BnMul(product, p, q, 16);
        EXPECT_EQ(BnCompare(product, n, 32), 0) << "modulus = prime1 * prime2";
        EXPECT_GT(BnCompare(p, q, 16), 0);
    }
}

TEST(RsaCli, KeygenErrors) {
    testing::TempDirectory dir;
    for (const char* bits : {"254", "1025"}) {
        const testing::CliRun run = RunCli(dir, {"rsa", "keygen", "--bits", bits});
        EXPECT_EQ(run.exitCode, 1) << bits;
        EXPECT_EQ(run.err, "error 0x0407 kErrModulusBits\n");
        EXPECT_TRUE(run.out.empty());
    }
    for (const char* exponent : {"5", "x"}) {
        const testing::CliRun run = RunCli(dir, {"rsa", "keygen", "--exponent", exponent});
        EXPECT_EQ(run.exitCode, 2) << exponent;
        EXPECT_TRUE(run.out.empty());
    }
}

}  // namespace
}  // namespace tarvu
