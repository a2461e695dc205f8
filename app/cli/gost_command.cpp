#include "app/cli/commands.h"
#include "app/cli/hex_args.h"
#include "app/cli/terminal_text.h"
#include "crypto/gost_cipher.h"
#include "link/hex_text.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace tarvu::cli {
namespace {

struct GostEncryptArgs {
    std::string key;
    std::vector<std::string> body;
};

int RunGostEncrypt(const GostEncryptArgs& args) {
    std::vector<uint8_t> keyBytes;
    if (!ParseHexArgs({args.key}, keyBytes)) {
        return kUsageError;
    }
    if (keyBytes.size() != GostKey{}.size()) {
        PrintErrorLine("tarvu-cli: the key must be 32 bytes (64 hex digits), not %zu",
                       keyBytes.size());
        return kUsageError;
    }
    std::vector<uint8_t> body;
    if (!ParseHexArgs(args.body, body)) {
        return kUsageError;
    }
    if (body.size() > kGostMaxBody) {
        PrintErrorLine("tarvu-cli: a body of %zu bytes is longer than the %zu allowed", body.size(),
                       kGostMaxBody);
        return kUsageError;
    }
    GostKey key;
    std::copy(keyBytes.begin(), keyBytes.end(), key.begin());
    const size_t length = body.size();
    body.resize(length + kGostBufferSpare);
    PadRecord pad{};
    const uint8_t n = GostEncryptPacket(body, length, pad, key);
    if (n == 0) {
        PrintErrorLine("tarvu-cli: the body was not encrypted");
        return 1;
    }
    std::printf("pad: %s\n", FormatHexBytes(pad.data(), pad[0] + 1u).c_str());
    std::printf("cipher: %s\n", FormatHexBytes(body.data(), n).c_str());
    return 0;
}

}  // namespace

void RegisterGostCommand(CLI::App& app, int& exitCode) {
    CLI::App* gost = app.add_subcommand("gost", "GOST 28147-89 packet cipher");
    gost->require_subcommand(1);
    constexpr const char* kExample =
        "Example (the pad bytes come from the clock, so both lines differ from run to run):\n"
        "  tarvu-cli gost encrypt --key "
        "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F 11 22 33\n"
        "  pad: 04 91 A9 EF 15\n"
        "  cipher: CD 42 BE 20 76 6A 2F FD\n";
    gost->footer(kExample);
    auto args = std::make_shared<GostEncryptArgs>();
    CLI::App* encrypt = gost->add_subcommand(
        "encrypt",
        "Encrypt a packet body as the link engine does: random pad bytes in front, the pad "
        "count behind, the bytes chained, each 8-byte block encrypted. Prints 'pad: ' with "
        "the pad record (count, then the pad bytes) and 'cipher: ' with the encrypted body. "
        "The pad bytes come from the millisecond clock, so the output changes from run to run.");
    encrypt->footer(kExample);
    encrypt->add_option("--key", args->key, "the 32-byte key as 64 hex digits (blanks allowed)")
        ->required();
    encrypt->add_option("HEX", args->body, "body bytes (none for an empty body; at most 246)");
    encrypt->callback([args, &exitCode] { exitCode = RunGostEncrypt(*args); });
}

}  // namespace tarvu::cli
