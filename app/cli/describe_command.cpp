#include "app/cli/commands.h"
#include "app/cli/hex_args.h"
#include "app/cli/terminal_text.h"
#include "trace/message_catalogue.h"

#include <cstdio>
#include <memory>
#include <string>

namespace tarvu::cli {
namespace {

// Parses 1 to `maxDigits` hexadecimal digits; on failure prints what is wrong and returns false.
bool ParseHexNumber(const std::string& text, const char* what, size_t maxDigits, uint32_t& value) {
    if (text.empty()) {
        PrintErrorLine("tarvu-cli: %s is empty", what);
        return false;
    }
    value = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            const unsigned char u = static_cast<unsigned char>(c);
            if (u >= 0x20 && u < 0x7F) {
                PrintErrorLine(
                    "tarvu-cli: %s: not a hexadecimal digit: '%c' at position %zu of "
                    "\"%s\"",
                    what, c, i + 1, text.c_str());
            } else {
                PrintErrorLine(
                    "tarvu-cli: %s: not a hexadecimal digit: byte 0x%02X at position "
                    "%zu",
                    what, u, i + 1);
            }
            return false;
        }
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    if (text.size() > maxDigits) {
        PrintErrorLine("tarvu-cli: %s \"%s\" has more than %zu hexadecimal digits", what,
                       text.c_str(), maxDigits);
        return false;
    }
    return true;
}

}  // namespace

void RegisterDescribeCommand(CLI::App& app, int& exitCode) {
    auto* command = app.add_subcommand(
        "describe",
        "Print a message code's catalogue name and, with PARAM, the parameter's name "
        "(both hexadecimal): describe 21 9E prints 21(ma_ALARM) 9E(PARAM_LOST_ACCUM)");
    command->footer(
        "Examples:\n"
        "  tarvu-cli describe 21 9E\n"
        "  21(ma_ALARM) 9E(PARAM_LOST_ACCUM)\n"
        "  tarvu-cli describe 1\n"
        "  01(? ? ?)\n");
    auto code = std::make_shared<std::string>();
    auto parameter = std::make_shared<std::string>();
    command->add_option("CODE", *code, "message code, up to 3 hexadecimal digits (e.g. 21, 301)")
        ->required();
    auto* parameterOption =
        command->add_option("PARAM", *parameter, "message parameter, up to 2 hexadecimal digits");
    command->callback([&exitCode, code, parameter, parameterOption] {
        uint32_t codeValue = 0;
        uint32_t parameterValue = 0;
        const bool withParameter = parameterOption->count() > 0;
        if (!ParseHexNumber(*code, "CODE", 3, codeValue) ||
            (withParameter && !ParseHexNumber(*parameter, "PARAM", 2, parameterValue))) {
            exitCode = kUsageError;
            return;
        }
        std::string text = DescribeCode(codeValue);
        if (withParameter) {
            text += ' ';
            text += DescribeParameter(static_cast<uint8_t>(parameterValue));
        }
        text += '\n';
        std::fwrite(text.data(), 1, text.size(), stdout);
        exitCode = 0;
    });
}

}  // namespace tarvu::cli
