// End-to-end tests of `tarvu-cli rsa keygen`: field lines, their sizes and the key's
// arithmetic, and the error lines.

#include "client_test_support.h"
#include "crypto/big_num.h"
#include "link/hex_text.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tarvu {
namespace {

using testing::RunCli;
using testing::TempDirectory;

struct Field {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<Field> ParseFields(const std::string& out) {
    std::vector<Field> fields;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const size_t colon = line.find(": ");
        if (colon == std::string::npos) {
            ADD_FAILURE() << "not a field line: " << line;
            continue;
        }
        Field f{line.substr(0, colon), {}};
        std::string error;
        EXPECT_TRUE(ParseHexStrict(line.substr(colon + 2), f.bytes, error)) << error;
        EXPECT_EQ(FormatHexBytes(f.bytes), line.substr(colon + 2)) << "upper case, single blanks";
        fields.push_back(f);
    }
    return fields;
}

void Decode(BnDigit* a, int digits, const std::vector<uint8_t>& bytes) {
    BnDecode(a, digits, bytes.data(), bytes.size());
}

TEST(RsaCli, KeygenPrintsEveryField) {
    TempDirectory dir;
    struct Case {
        std::vector<std::string> args;
        unsigned bits;
        uint8_t exponentTail;
    };
    const Case cases[] = {
        {{"rsa", "keygen"}, 256, 0x01},
        {{"rsa", "keygen", "--bits", "512", "--exponent", "3"}, 512, 0x03},
        {{"rsa", "keygen", "--bits", "1024", "--exponent", "65537"}, 1024, 0x01},
    };
    for (const Case& c : cases) {
        const testing::CliRun run = RunCli(dir, c.args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::vector<Field> fields = ParseFields(run.out);
        const std::vector<std::pair<std::string, size_t>> expected = {
            {"bits", 2},        {"modulus", 128}, {"publicExponent", 128}, {"privateExponent", 128},
            {"prime1", 64},     {"prime2", 64},   {"exponent1", 64},       {"exponent2", 64},
            {"coefficient", 64}};
        ASSERT_EQ(fields.size(), expected.size()) << run.out;
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(fields[i].name, expected[i].first);
            EXPECT_EQ(fields[i].bytes.size(), expected[i].second) << fields[i].name;
        }
        EXPECT_EQ((fields[0].bytes[0] << 8) | fields[0].bytes[1], static_cast<int>(c.bits));
        EXPECT_EQ(fields[2].bytes.back(), c.exponentTail);

        // modulus = prime1 * prime2, prime1 > prime2.
        BnDigit p[16];
        BnDigit q[16];
        BnDigit n[32];
        BnDigit product[32];
        Decode(p, 16, fields[4].bytes);
        Decode(q, 16, fields[5].bytes);
        Decode(n, 32, fields[1].bytes);
        BnMul(product, p, q, 16);
        EXPECT_EQ(BnCompare(product, n, 32), 0) << c.bits;
        EXPECT_GT(BnCompare(p, q, 16), 0);
        EXPECT_EQ(BnSignificantBits(n, 32), c.bits);
    }
}

TEST(RsaCli, KeygenErrors) {
    TempDirectory dir;
    for (const char* bits : {"254", "1025"}) {
        const testing::CliRun run = RunCli(dir, {"rsa", "keygen", "--bits", bits});
        EXPECT_EQ(run.exitCode, 1) << bits;
        EXPECT_EQ(run.err, "error 0x0407 kErrModulusBits\n");
        EXPECT_TRUE(run.out.empty());
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"rsa", "keygen", "--exponent", "5"},
          std::vector<std::string>{"rsa", "keygen", "--bits", "many"}}) {
        const testing::CliRun run = RunCli(dir, args);
        EXPECT_EQ(run.exitCode, 2) << args.back();
        EXPECT_TRUE(run.out.empty());
    }
}

}  // namespace
}  // namespace tarvu
