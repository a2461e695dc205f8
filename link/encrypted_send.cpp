#include "link/encrypted_send.h"

#include "crypto/gost_cipher.h"
#include "crypto/random_generator.h"
#include "link/link_channel.h"
#include "link/link_channel_state.h"
#include "platform/byte_order.h"
#include "platform/debug_output.h"
#include "platform/message_box.h"

#include <mutex>
#include <string>

namespace tarvu {
namespace {

constexpr size_t kKeyHalf = 32;
constexpr size_t kSeedZeroBytes = 256;

// CurrentGostKey and the runtime generator the cipher reseeds are process-wide: one channel's
// set-and-encrypt must never interleave with another's.
std::mutex gCipherMutex;
// SharedRandom has no lock of its own.
std::mutex gKeyPairMutex;

}  // namespace

PublicKeyBlock MakePublicKeyBlock(const RsaPublicKey& publicKey) {
    PublicKeyBlock block{};
    // The record's numbers are big-endian and right-aligned: the last byte of each field is
    // its least significant one.
    const uint8_t* modulusEnd = publicKey.data() + kRsaModulusOffset + kRsaNumberSize;
    const uint8_t* exponentEnd = publicKey.data() + kRsaPublicExponentOffset + kRsaNumberSize;
    for (size_t i = 0; i < kKeyHalf; ++i) {
        block[i] = modulusEnd[-1 - static_cast<ptrdiff_t>(i)];
        block[kKeyHalf + i] = exponentEnd[-1 - static_cast<ptrdiff_t>(i)];
    }
    return block;
}

CipherPacket BuildPlainImage(const LinkPacket& packet, const PublicKeyBlock* keyBlock) {
    CipherPacket image;
    image.Data()[0] = CipherPacket::kEncryptedBit;
    if (packet.DeviceFieldLength() > 0) {
        image.SetDeviceAddress(packet.DeviceAddress());
    }
    if (packet.SecondFieldLength() > 0) {
        image.SetSecondAddress(packet.SecondAddress());
    }
    image.Append(*packet.TypeByte());
    image.Append(*packet.Qualifier());
    if (const uint8_t* code = packet.MessageCode()) {
        image.Append(*code);
    }
    if (keyBlock != nullptr) {
        image.Append(keyBlock->data(), keyBlock->size());
    }
    if (packet.BodyLength() > 0) {
        image.Append(packet.Body(), static_cast<size_t>(packet.BodyLength()));
    }
    return image;
}

size_t CipherTailOffset(const CipherPacket& image) {
    return 1 + image.DeviceFieldLength() + image.SecondFieldLength();
}

int GenerateChannelKeyPair(RsaPublicKey& publicKey, RsaPrivateKey& privateKey) {
    const std::lock_guard<std::mutex> lock(gKeyPairMutex);
    RandomInit(SharedRandom);
    const uint8_t zero = 0;
    for (size_t i = 0; i < kSeedZeroBytes; ++i) {
        RandomUpdate(SharedRandom, &zero, 1);
    }
    RandomSeedFromClock(SharedRandom);
    RsaKeyRequest request;
    request.modulusBits = kChannelKeyPairBits;
    request.useExponent65537 = 1;
    return RsaGenerateKeyPair(publicKey, privateKey, request, SharedRandom);
}

uint8_t EncryptWithKey(const std::array<uint8_t, 32>& key, uint8_t* buffer, size_t length,
                       std::array<uint8_t, 9>& pad) {
    if (length > kGostMaxBody) {
        return 0;
    }
    const std::lock_guard<std::mutex> lock(gCipherMutex);
    CurrentGostKey = &key;
    const uint8_t encrypted = GostEncryptPacket(buffer, length, pad);
    CurrentGostKey = nullptr;
    return encrypted;
}

void LinkChannel::BeginKeyExchange() {
    State& s = *state_;
    const std::lock_guard<std::mutex> betweenSteps(s.stepMutex);
    s.cipherOn = 1;
    s.keyEstablished = 0;
}

int LinkChannel::SendEncrypted(const LinkPacket& packet) {
    State& s = *state_;
    const bool keyPending = s.keyEstablished == 0;
    if (keyPending && LoadBe16(s.publicKey.data()) == 0) {
        // Once per channel; a failed attempt leaves the records zero and is retried by the
        // next send, which meanwhile carries the zero block.
        if (s.generateKeyPair(s.publicKey, s.privateKey) == 0) {
            s.keyPairReady = 1;
        } else {
            OutputDebugString("SendStep: channel " + std::to_string(s.channelNumber) +
                              ": key pair generation failed; the public key is sent as zeros\n");
        }
    }

    PublicKeyBlock keyBlock{};
    if (keyPending) {
        keyBlock = MakePublicKeyBlock(s.publicKey);
        // The key the exchange is protected with is the one the channel's record holds now.
        const LinkCallbacks* callbacks = ActiveCallbacks();
        if (callbacks != nullptr && callbacks->LookupChannel != nullptr) {
            const ChannelRequest own = s.OwnRequest();
            if (const ChannelRecord* record = callbacks->LookupChannel(&own)) {
                s.cipherKey = record->key;
            }
        }
    }
    CipherPacket image = BuildPlainImage(packet, keyPending ? &keyBlock : nullptr);

    const size_t pos = CipherTailOffset(image);
    const size_t tail = image.Length() - pos;
    if (tail > kGostMaxBody) {
        // The cipher's lengths are 8-bit; cutting the tail would send a different packet.
        OutputDebugString("SendStep: channel " + std::to_string(s.channelNumber) + ": " +
                          std::to_string(tail) + " bytes to encrypt exceed the cipher's limit of " +
                          std::to_string(kGostMaxBody) + "; packet not sent\n");
        ShowMessageBox(kSendRefusedCaption, "Шифруемая часть пакета длиннее " +
                                                std::to_string(kGostMaxBody) + " байт (" +
                                                std::to_string(tail) + "): пакет не послан");
        return -1;
    }
    PadRecord pad{};
    const uint8_t encrypted = EncryptWithKey(s.cipherKey, image.Data() + pos, tail, pad);
    s.lastPadding = pad;
    image.SetLength(pos + encrypted);
    return SendPacket(image.Data(), image.Length());
}

}  // namespace tarvu
