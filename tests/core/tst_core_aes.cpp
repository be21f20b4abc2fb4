// KSB::CAesCrypt through the library's installed header and shared object: the
// FIPS-197 example vectors, the buffer rules (whole blocks, plain tail), the
// calls that must not crash, and a differential run against OpenSSL's ECB.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "Tessiva/AesCrypt.h"

namespace {

using Bytes = std::vector<unsigned char>;
using KSB::CAesCrypt;

Bytes fromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

Bytes sequence(size_t length, unsigned start = 0) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(start + i * 7);
    return bytes;
}

struct FipsVector {
    CAesCrypt::SE_AES_TYPE type;
    const char* key;
    const char* cipher;
};

// FIPS-197 appendix C: plain text 00112233...ff, key 000102...
const FipsVector kFipsVectors[] = {
    {CAesCrypt::SE_AES_128, "000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {CAesCrypt::SE_AES_192, "000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {CAesCrypt::SE_AES_256, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "8ea2b7ca516745bfeafc49904b496089"},
};

const Bytes kFipsPlain = fromHex("00112233445566778899aabbccddeeff");

TEST(CoreAes, FipsVectorsEncryptAndDecrypt) {
    for (const FipsVector& vector : kFipsVectors) {
        SCOPED_TRACE(vector.type);
        const Bytes key = fromHex(vector.key);
        const Bytes expected = fromHex(vector.cipher);

        CAesCrypt encryptor;
        ASSERT_TRUE(encryptor.SetEncryptKey(key.data(), vector.type));
        Bytes cipher(16);
        encryptor.Encrypt(kFipsPlain.data(), cipher.data(), 16);
        EXPECT_EQ(cipher, expected);

        CAesCrypt decryptor;
        ASSERT_TRUE(decryptor.SetDecryptKey(key.data(), vector.type));
        Bytes plain(16);
        decryptor.Decrypt(expected.data(), plain.data(), 16);
        EXPECT_EQ(plain, kFipsPlain);
    }
}

// Whole blocks are enciphered one by one (ECB: equal blocks give equal output),
// a tail shorter than a block is copied as it is, and nothing past len is written.
TEST(CoreAes, BufferIsProcessedInWholeBlocksWithPlainTail) {
    const Bytes key = fromHex(kFipsVectors[0].key);
    CAesCrypt encryptor;
    ASSERT_TRUE(encryptor.SetEncryptKey(key.data(), CAesCrypt::SE_AES_128));
    CAesCrypt decryptor;
    ASSERT_TRUE(decryptor.SetDecryptKey(key.data(), CAesCrypt::SE_AES_128));
    const Bytes fipsCipher = fromHex(kFipsVectors[0].cipher);

    for (uint32_t length : {0u, 1u, 15u, 16u, 20u, 31u, 32u, 33u, 48u}) {
        SCOPED_TRACE(length);
        Bytes plain;
        while (plain.size() < length) plain.insert(plain.end(), kFipsPlain.begin(), kFipsPlain.end());
        plain.resize(length);
        const uint32_t whole = length - length % 16;

        Bytes cipher(length + 8, 0xAA);
        encryptor.Encrypt(plain.data(), cipher.data(), length);
        for (uint32_t offset = 0; offset < whole; offset += 16) {
            EXPECT_EQ(Bytes(cipher.begin() + offset, cipher.begin() + offset + 16), fipsCipher) << offset;
        }
        EXPECT_EQ(Bytes(cipher.begin() + whole, cipher.begin() + length), Bytes(plain.begin() + whole, plain.end()));
        EXPECT_EQ(Bytes(cipher.begin() + length, cipher.end()), Bytes(8, 0xAA));

        Bytes back(length + 8, 0x55);
        decryptor.Decrypt(cipher.data(), back.data(), length);
        EXPECT_EQ(Bytes(back.begin(), back.begin() + length), plain);
        EXPECT_EQ(Bytes(back.begin() + length, back.end()), Bytes(8, 0x55));
    }
}

TEST(CoreAes, NullKeyIsRefusedAndKeepsTheSchedule) {
    const Bytes key = fromHex(kFipsVectors[0].key);
    CAesCrypt aes;
    ASSERT_TRUE(aes.SetEncryptKey(key.data(), CAesCrypt::SE_AES_128));
    EXPECT_FALSE(aes.SetEncryptKey(nullptr, CAesCrypt::SE_AES_256));
    EXPECT_FALSE(aes.SetDecryptKey(nullptr, CAesCrypt::SE_AES_192));
    // A key type other than the three is refused the same way.
    EXPECT_FALSE(aes.SetEncryptKey(key.data(), static_cast<CAesCrypt::SE_AES_TYPE>(64)));

    Bytes cipher(16);
    aes.Encrypt(kFipsPlain.data(), cipher.data(), 16);
    EXPECT_EQ(cipher, fromHex(kFipsVectors[0].cipher));
}

// Before any key is set there is no schedule to use: the whole blocks of the
// output stay as they were; the tail is copied as with a key.
TEST(CoreAes, BlocksBeforeAnyKeyLeaveTheOutputUnchanged) {
    CAesCrypt aes;
    const Bytes plain = sequence(40);
    Bytes out(40, 0x11);
    aes.Encrypt(plain.data(), out.data(), 32);
    EXPECT_EQ(out, Bytes(40, 0x11));
    aes.Decrypt(plain.data(), out.data(), 32);
    EXPECT_EQ(out, Bytes(40, 0x11));
    for (const bool encrypt : {true, false}) {
        Bytes tailed(40, 0x11);
        if (encrypt) {
            aes.Encrypt(plain.data(), tailed.data(), 37);
        } else {
            aes.Decrypt(plain.data(), tailed.data(), 37);
        }
        Bytes expected(40, 0x11);
        std::copy(plain.begin() + 32, plain.begin() + 37, expected.begin() + 32);
        EXPECT_EQ(tailed, expected) << (encrypt ? "Encrypt" : "Decrypt");
    }

    CAesCrypt refused;
    EXPECT_FALSE(refused.SetEncryptKey(nullptr, CAesCrypt::SE_AES_128));
    refused.Encrypt(plain.data(), out.data(), 16);
    EXPECT_EQ(out, Bytes(40, 0x11));
}

TEST(CoreAes, NullBuffersDoNothing) {
    const Bytes key = fromHex(kFipsVectors[2].key);
    CAesCrypt aes;
    ASSERT_TRUE(aes.SetEncryptKey(key.data(), CAesCrypt::SE_AES_256));
    Bytes buffer = sequence(37);
    const Bytes before = buffer;
    aes.Encrypt(nullptr, buffer.data(), 37);
    aes.Decrypt(nullptr, buffer.data(), 37);
    EXPECT_EQ(buffer, before);
    aes.Encrypt(buffer.data(), nullptr, 37);
    aes.Decrypt(buffer.data(), nullptr, 37);
    aes.Encrypt(nullptr, nullptr, 0);
    EXPECT_EQ(buffer, before);
}

TEST(CoreAes, CopiesCarryTheScheduleAndRoundCount) {
    const Bytes key = fromHex(kFipsVectors[1].key);
    CAesCrypt original;
    ASSERT_TRUE(original.SetEncryptKey(key.data(), CAesCrypt::SE_AES_192));
    CAesCrypt copy(original);
    CAesCrypt assigned;
    assigned = original;
    for (CAesCrypt* aes : {&copy, &assigned}) {
        Bytes cipher(16);
        aes->Encrypt(kFipsPlain.data(), cipher.data(), 16);
        EXPECT_EQ(cipher, fromHex(kFipsVectors[1].cipher));
    }
}

// A subclass may replace the block operation; the buffer operation uses it.
class CountingAes : public CAesCrypt {
public:
    int blocks = 0;

private:
    void EncryptAES(const unsigned char* src, unsigned char* dst, uint32_t len) override {
        ++blocks;
        EXPECT_EQ(len, 16u);
        for (int i = 0; i < 16; ++i) dst[i] = static_cast<unsigned char>(src[i] ^ 0xFF);
    }
};

TEST(CoreAes, BufferOperationGoesThroughTheBlockOperation) {
    CountingAes aes;
    const Bytes plain = sequence(50);
    Bytes out(50);
    aes.Encrypt(plain.data(), out.data(), 50);
    EXPECT_EQ(aes.blocks, 3);
    EXPECT_EQ(out[0], static_cast<unsigned char>(plain[0] ^ 0xFF));
    EXPECT_EQ(out[49], plain[49]);
}

const EVP_CIPHER* opensslEcb(CAesCrypt::SE_AES_TYPE type) {
    switch (type) {
    case CAesCrypt::SE_AES_128: return EVP_aes_128_ecb();
    case CAesCrypt::SE_AES_192: return EVP_aes_192_ecb();
    case CAesCrypt::SE_AES_256: return EVP_aes_256_ecb();
    }
    return nullptr;
}

// OpenSSL's ECB without padding over the whole blocks of in; the tail as it is.
Bytes referenceEcb(bool encrypt, CAesCrypt::SE_AES_TYPE type, const Bytes& key, const Bytes& in) {
    Bytes out = in;
    const size_t whole = in.size() - in.size() % 16;
    if (whole == 0) return out;
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    EXPECT_EQ(EVP_CipherInit_ex(context, opensslEcb(type), nullptr, key.data(), nullptr, encrypt ? 1 : 0), 1);
    EVP_CIPHER_CTX_set_padding(context, 0);
    int written = 0;
    EXPECT_EQ(EVP_CipherUpdate(context, out.data(), &written, in.data(), static_cast<int>(whole)), 1);
    EXPECT_EQ(static_cast<size_t>(written), whole);
    EVP_CIPHER_CTX_free(context);
    return out;
}

TEST(CoreAes, MatchesOpenSslEcbForRandomKeysAndLengths) {
    std::mt19937 random(20170714u);
    std::uniform_int_distribution<int> byte(0, 255);
    auto randomBytes = [&](size_t length) {
        Bytes bytes(length);
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(byte(random));
        return bytes;
    };

    for (CAesCrypt::SE_AES_TYPE type : {CAesCrypt::SE_AES_128, CAesCrypt::SE_AES_192, CAesCrypt::SE_AES_256}) {
        for (int keyRound = 0; keyRound < 4; ++keyRound) {
            const Bytes key = randomBytes(static_cast<size_t>(type) / 8);
            CAesCrypt encryptor;
            CAesCrypt decryptor;
            ASSERT_TRUE(encryptor.SetEncryptKey(key.data(), type));
            ASSERT_TRUE(decryptor.SetDecryptKey(key.data(), type));
            for (uint32_t length = 0; length <= 100; ++length) {
                SCOPED_TRACE(testing::Message() << "type " << type << " key " << keyRound << " length " << length);
                const Bytes plain = randomBytes(length);
                const Bytes expectedCipher = referenceEcb(true, type, key, plain);
                const Bytes expectedPlain = referenceEcb(false, type, key, plain);

                Bytes out(length);
                encryptor.Encrypt(plain.data(), out.data(), length);
                ASSERT_EQ(out, expectedCipher);
                Bytes inPlace = plain;
                encryptor.Encrypt(inPlace.data(), inPlace.data(), length);
                ASSERT_EQ(inPlace, expectedCipher);

                decryptor.Decrypt(plain.data(), out.data(), length);
                ASSERT_EQ(out, expectedPlain);
                inPlace = expectedCipher;
                decryptor.Decrypt(inPlace.data(), inPlace.data(), length);
                ASSERT_EQ(inPlace, plain);
            }
        }
    }
}

}  // namespace
