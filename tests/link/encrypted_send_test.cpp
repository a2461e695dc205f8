#include "link/encrypted_send.h"

#include "crypto/crypto_status.h"
#include "encrypted_send_decrypt.h"
#include "link_channel_fakes.h"
#include "platform/debug_output.h"
#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <thread>

namespace tarvu::testing {
namespace {

using Key = std::array<uint8_t, 32>;

Key MakeKey(uint8_t seed) {
    Key key;
    for (size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<uint8_t>(seed * 31 + i * 7 + 1);
    }
    return key;
}

// The wire bytes from `offset` decrypted with `key`; fails the test when they do not decrypt.
Bytes PlainTail(const Bytes& wire, size_t offset, const Key& key) {
    EXPECT_EQ((wire.size() - offset) % 8, 0u);
    const auto tail =
        TestDecryptTail(Bytes(wire.begin() + static_cast<ptrdiff_t>(offset), wire.end()), key);
    EXPECT_TRUE(tail.has_value());
    return tail ? tail->plain : Bytes{};
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class EncryptedSendTest : public ChannelTest {
protected:
    void SetUp() override {
        ChannelTest::SetUp();
        app.record.key = MakeKey(1);
        S().cipherOn = 1;
        keyPairCalls = 0;
    }

    static inline int keyPairCalls = 0;
    static int CountingKeyPair(RsaPublicKey& pub, RsaPrivateKey& priv) {
        ++keyPairCalls;
        return GenerateChannelKeyPair(pub, priv);
    }
    static int FailingKeyPair(RsaPublicKey&, RsaPrivateKey&) {
        ++keyPairCalls;
        return kErrPrimeNotFound;
    }
};

TEST_F(EncryptedSendTest, AddressesStayInClearAndTheTailDecrypts) {
    const Key key = MakeKey(1);
    EXPECT_EQ(S().cipherKey, key);  // taken from the channel's own record at creation

    QueueAccounted({0x11, 0x03, 0x00, 0x30, 0x00});
    EXPECT_EQ(Channel().SendStep(), 1);
    ASSERT_EQ(transport.sent.size(), 1u);
    const Bytes& poll = transport.sent[0];
    ASSERT_EQ(poll.size(), 3u + 8u);  // 2 plain bytes, 5 pad bytes, the count byte
    EXPECT_EQ(Bytes(poll.begin(), poll.begin() + 3), (Bytes{0x91, 0x03, 0x00}));
    const auto decrypted = TestDecryptTail(Bytes(poll.begin() + 3, poll.end()), key);
    ASSERT_TRUE(decrypted.has_value());
    EXPECT_EQ(decrypted->plain, (Bytes{0x30, 0x00}));
    // lastPadding is the pad count and the pad bytes the receiver strips.
    EXPECT_EQ(S().lastPadding[0], 5);
    EXPECT_EQ(Bytes(S().lastPadding.begin() + 1, S().lastPadding.begin() + 6), decrypted->padBytes);
    // The trace shows what leaves: the encrypted image.
    ASSERT_EQ(app.traces.size(), 1u);
    EXPECT_EQ(app.traces[0].bytes, poll);

    // No address fields: encrypted from offset 1, length byte 0x80.
    QueueAccounted({0x00, 0x30, 0x00});
    Channel().SendStep();
    EXPECT_EQ(transport.sent[1][0], 0x80);
    EXPECT_EQ(PlainTail(transport.sent[1], 1, key), (Bytes{0x30, 0x00}));

    // A two-byte field holding a small address is rewritten in one byte; the message code and
    // body follow type and qualifier.
    QueueAccounted({0x21, 0x03, 0x00, 0x07, 0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1});
    Channel().SendStep();
    EXPECT_EQ(Bytes(transport.sent[2].begin(), transport.sent[2].begin() + 3),
              (Bytes{0x91, 0x03, 0x07}));
    EXPECT_EQ(PlainTail(transport.sent[2], 3, key), (Bytes{0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1}));

    // Frame coding applies to the encrypted image.
    app.window.substitution = true;
    QueueAccounted({0x11, 0x03, 0x00, 0x30, 0x00});
    Channel().SendStep();
    EXPECT_EQ(app.traces.back().stage, 1);
    EXPECT_EQ(transport.sent[3], app.traces.back().bytes);
    EXPECT_EQ(transport.sent[3].front(), 0x7E);
}

TEST_F(EncryptedSendTest, BodiesUpToTheCipherLimitGoAndLongerOnesAreRefused) {
    std::string debug;
    DebugSink previous = SetDebugSink([&debug](std::string_view text) { debug += text; });
    std::vector<std::pair<std::string, std::string>> boxes;
    MessageBoxHandler previousBoxes =
        SetMessageBoxHandler([&boxes](const std::string& caption, const std::string& text) {
            boxes.emplace_back(caption, text);
        });
    const Key key = MakeKey(1);

    Bytes longest = {0x00, 0x30, 0x00};
    longest.resize(1 + 118, 0x5A);  // a 118-byte tail: 120 encrypted bytes, one pad byte
    QueueAccounted(longest);
    Bytes limit = {0x00, 0x30, 0x00};
    limit.resize(1 + 246, 0xA5);  // the largest tail the 8-bit lengths allow
    QueueAccounted(limit);
    Bytes over = limit;
    over.push_back(0x01);
    Submit(over);  // user packets are encrypted too
    for (int i = 0; i < 3; ++i) {
        Channel().SendStep();
    }
    ASSERT_EQ(transport.sent.size(), 2u);
    EXPECT_EQ(transport.sent[0].size(), 1u + 120u);
    EXPECT_EQ(PlainTail(transport.sent[0], 1, key), Bytes(longest.begin() + 1, longest.end()));
    EXPECT_EQ(transport.sent[1].size(), 1u + 248u);
    EXPECT_EQ(PlainTail(transport.sent[1], 1, key), Bytes(limit.begin() + 1, limit.end()));
    EXPECT_NE(debug.find("247 bytes to encrypt exceed the cipher's limit of 246; packet not sent"),
              std::string::npos)
        << debug;
    EXPECT_TRUE(S().sendQueue.Empty());  // refused, not left to block the queue
    // The user is told, not only the debug output.
    EXPECT_EQ(
        boxes,
        (std::vector<std::pair<std::string, std::string>>{
            {"Внимание!", "Шифруемая часть пакета длиннее 246 байт (247): пакет не послан"}}));
    SetDebugSink(std::move(previous));
    SetMessageBoxHandler(std::move(previousBoxes));
}

TEST_F(EncryptedSendTest, PendingExchangeCarriesOneKeyPairUnderTheRecordsCurrentKey) {
    S().generateKeyPair = CountingKeyPair;
    S().keyEstablished = 0;
    // The record's key changed after the channel opened: the exchange uses the new one.
    const Key recordKey = MakeKey(9);
    app.record.key = recordKey;
    app.lookups.clear();

    QueueAccounted({0x11, 0x03, 0x00, 0x62, 0x03});
    Channel().SendStep();
    ASSERT_EQ(transport.sent.size(), 1u);
    const Bytes& announcement = transport.sent[0];
    EXPECT_EQ(Bytes(announcement.begin(), announcement.begin() + 3), (Bytes{0x91, 0x03, 0x00}));
    ASSERT_EQ(announcement.size(), 3u + 72u);  // 66 plain bytes, 5 pad, count
    const Bytes plain = PlainTail(announcement, 3, recordKey);
    ASSERT_EQ(plain.size(), 66u);
    EXPECT_EQ(Bytes(plain.begin(), plain.begin() + 2), (Bytes{0x62, 0x03}));
    const Bytes block(plain.begin() + 2, plain.end());
    // Modulus least significant byte first: the product of two primes of at least 3 * 2^126
    // is at least 9 * 2^252, so its top byte is 0x90 or more; it is odd.
    EXPECT_GE(block[31], 0x90);
    EXPECT_EQ(block[0] & 1, 1);
    Bytes exponent(32, 0);
    exponent[0] = 0x01;
    exponent[2] = 0x01;  // 65537
    EXPECT_EQ(Bytes(block.begin() + 32, block.end()), exponent);
    EXPECT_EQ(S().keyPairReady, 1u);
    EXPECT_EQ(S().cipherKey, recordKey);
    ASSERT_EQ(app.lookups.size(), 1u);
    EXPECT_EQ(app.lookups[0].channelNumber, 1);
    EXPECT_EQ(app.lookups[0].recordIndex, 0);

    // Later packets reuse the pair; a body follows the key block whole.
    QueueAccounted({0x11, 0x03, 0x00, 0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1});
    Channel().SendStep();
    EXPECT_EQ(keyPairCalls, 1);
    EXPECT_EQ(PlainTail(transport.sent[1], 3, recordKey),
              Concat(Concat({0x30, 0x10, 0xA6}, block), {0xC5, 0x22, 0xD1}));
    EXPECT_EQ(S().keyEstablished, 0u);

    // A fresh channel makes its own pair; opening the exchange also turns the cipher on.
    Reopen();
    EXPECT_EQ(S().cipherOn, 0u);
    Channel().BeginKeyExchange();
    S().generateKeyPair = CountingKeyPair;
    QueueAccounted({0x11, 0x03, 0x00, 0x62, 0x03});
    Channel().SendStep();
    EXPECT_EQ(keyPairCalls, 2);
    const Bytes other = PlainTail(transport.sent[2], 3, recordKey);
    ASSERT_EQ(other.size(), 66u);
    EXPECT_NE(Bytes(other.begin() + 2, other.begin() + 34),
              Bytes(block.begin(), block.begin() + 32));
}

TEST_F(EncryptedSendTest, FailedKeyGenerationSendsZerosAndTriesAgainNextTime) {
    S().generateKeyPair = FailingKeyPair;
    S().keyEstablished = 0;
    const Key key = MakeKey(1);
    for (int i = 0; i < 2; ++i) {
        QueueAccounted({0x11, 0x03, 0x00, 0x62, 0x03});
        Channel().SendStep();
    }
    ASSERT_EQ(transport.sent.size(), 2u);
    EXPECT_EQ(keyPairCalls, 2);
    EXPECT_EQ(S().keyPairReady, 0u);
    EXPECT_EQ(PlainTail(transport.sent[1], 3, key), Concat({0x62, 0x03}, Bytes(64, 0)));

    S().generateKeyPair = CountingKeyPair;
    QueueAccounted({0x11, 0x03, 0x00, 0x62, 0x03});
    Channel().SendStep();
    EXPECT_EQ(keyPairCalls, 3);
    EXPECT_EQ(S().keyPairReady, 1u);
    EXPECT_NE(PlainTail(transport.sent[2], 3, key), Concat({0x62, 0x03}, Bytes(64, 0)));
}

// Two channels on two threads: every datagram must decrypt under its own channel's key,
// which fails if one channel's encryption ever ran with the other's key pointer. The window
// is a few instructions wide, so the ThreadSanitizer build is what reliably sees an unguarded
// key pointer here.
TEST(EncryptedSendThreads, ChannelsNeverEncryptWithEachOthersKey) {
    FakeApplication app;
    app.config.callbacks.TraceData = nullptr;  // the fake's trace list is not thread-safe
    app.Start();
    constexpr int kPackets = 2000;
    FakeTransport transports[2];
    std::unique_ptr<LinkChannel> channels[2];
    const Key keys[2] = {MakeKey(3), MakeKey(4)};
    for (int c = 0; c < 2; ++c) {
        ChannelRequest request;
        request.kind = kChannelKindUdp;
        request.channelNumber = static_cast<uint8_t>(c + 1);
        channels[c] = std::make_unique<LinkChannel>(request, transports[c]);
        channels[c]->Internals().cipherOn = 1;
        channels[c]->Internals().cipherKey = keys[c];
    }
    auto run = [&](int c) {
        for (int i = 0; i < kPackets; ++i) {
            const uint8_t bytes[] = {0x11, static_cast<uint8_t>(c + 1), 0x00, 0x30,
                                     0x00, static_cast<uint8_t>(i)};
            auto packet = std::make_unique<LinkPacket>(LinkPacket::Parse(bytes, sizeof bytes));
            packet->wait = 0;
            packet->accounted = 0;
            channels[c]->Internals().sendQueue.PushBack(std::move(packet));
            channels[c]->SendStep();
        }
    };
    std::thread first(run, 0);
    std::thread second(run, 1);
    first.join();
    second.join();
    for (int c = 0; c < 2; ++c) {
        ASSERT_EQ(transports[c].sent.size(), size_t{kPackets});
        for (int i = 0; i < kPackets; ++i) {
            ASSERT_EQ(PlainTail(transports[c].sent[i], 3, keys[c]),
                      (Bytes{0x30, 0x00, static_cast<uint8_t>(i)}))
                << "channel " << c << " packet " << i;
        }
    }
}

}  // namespace
}  // namespace tarvu::testing
