// tarvu-cli frame encode|decode: the link frame codec on bytes given as hexadecimal text.

#include "app/cli/commands.h"
#include "app/cli/hex_args.h"
#include "app/cli/terminal_text.h"
#include "link/frame_codec.h"
#include "link/hex_text.h"
#include "link/link_packet.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace tarvu::cli {
namespace {

void PrintLine(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

int RunEncode(const std::vector<std::string>& words) {
    std::vector<uint8_t> packet;
    if (!ParseHexArgs(words, packet)) {
        return kUsageError;
    }
    if (packet.size() > LinkPacket::kCapacity) {
        PrintErrorLine("tarvu-cli: the packet has %zu bytes; a link packet holds at most %zu",
                       packet.size(), LinkPacket::kCapacity);
        return kUsageError;
    }
    std::vector<uint8_t> frame(FrameAreaSize(packet.size()));
    frame.resize(FrameEncode(frame.data(), packet.data(), packet.size()));
    PrintLine(FormatHexBytes(frame));
    return 0;
}

int RunDecode(const std::vector<std::string>& words) {
    std::vector<uint8_t> stream;
    if (!ParseHexArgs(words, stream)) {
        return kUsageError;
    }
    FrameDecoder decoder;
    decoder.Feed(stream.data(), stream.size(),
                 [](const uint8_t* packet, size_t n) { PrintLine(FormatHexBytes(packet, n)); });
    return 0;
}

}  // namespace

void RegisterFrameCommand(CLI::App& app, int& exitCode) {
    auto* frame = app.add_subcommand(
        "frame", "Code link packets as frames (7E, escaped bytes, 7F) or cut frames out of bytes");
    frame->require_subcommand(1);
    frame->footer(
        "Examples:\n"
        "  tarvu-cli frame encode 7E\n"
        "  7E 7D 3E 7F\n"
        "  tarvu-cli frame decode 7E 41 7D 3E 42 7F\n"
        "  41 7E 42\n");

    auto encodeWords = std::make_shared<std::vector<std::string>>();
    auto* encode = frame->add_subcommand(
        "encode",
        "Print the frame of one link packet: 0x7E, the packet with the bytes 7D 7E 7F FF 2B and "
        "those below 20 sent as 7D and the byte XOR 40, then 0x7F");
    encode->add_option("HEX", *encodeWords,
                       "packet bytes in hexadecimal, at most 512, blanks anywhere, either case");
    encode->footer(
        "Example:\n"
        "  tarvu-cli frame encode 11 01 00 30 10 A3 01 00 D1\n"
        "  7E 7D 51 7D 41 7D 40 30 7D 50 A3 7D 41 7D 40 D1 7F\n");
    encode->callback([&exitCode, encodeWords] { exitCode = RunEncode(*encodeWords); });

    auto decodeWords = std::make_shared<std::vector<std::string>>();
    auto* decode = frame->add_subcommand(
        "decode",
        "Feed received bytes to a fresh frame decoder and print every packet it cuts out, one "
        "per line (an empty packet as an empty line). Bytes before a 7E, frames longer than 512 "
        "bytes and an unfinished last frame give nothing");
    decode->add_option("HEX", *decodeWords,
                       "received bytes in hexadecimal, blanks anywhere, either case");
    decode->footer(
        "Example:\n"
        "  tarvu-cli frame decode 7E 41 7D 3E 42 7F 7E7F\n"
        "  41 7E 42\n"
        "  (and an empty line for the empty frame 7E 7F)\n");
    decode->callback([&exitCode, decodeWords] { exitCode = RunDecode(*decodeWords); });
}

}  // namespace tarvu::cli
