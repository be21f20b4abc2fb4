#include "Tessiva/AesCrypt.h"

#include <cstring>

#include "AesTables.h"

namespace KSB {

namespace {

using namespace tessiva::aes;

constexpr uint32_t kBlockSize = 16;

inline uint32_t loadBigEndian(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

inline void storeBigEndian(unsigned char* p, uint32_t word) {
    p[0] = static_cast<unsigned char>(word >> 24);
    p[1] = static_cast<unsigned char>(word >> 16);
    p[2] = static_cast<unsigned char>(word >> 8);
    p[3] = static_cast<unsigned char>(word);
}

// The block's four big-endian words with the first round key added.
inline void loadState(const unsigned char* in, const uint32_t* rk, uint32_t& s0, uint32_t& s1, uint32_t& s2,
                      uint32_t& s3) {
    s0 = loadBigEndian(in) ^ rk[0];
    s1 = loadBigEndian(in + 4) ^ rk[1];
    s2 = loadBigEndian(in + 8) ^ rk[2];
    s3 = loadBigEndian(in + 12) ^ rk[3];
}

inline void storeState(unsigned char* out, uint32_t s0, uint32_t s1, uint32_t s2, uint32_t s3) {
    storeBigEndian(out, s0);
    storeBigEndian(out + 4, s1);
    storeBigEndian(out + 8, s2);
    storeBigEndian(out + 12, s3);
}

inline uint32_t byte3(uint32_t w) { return w >> 24; }
inline uint32_t byte2(uint32_t w) { return (w >> 16) & 0xff; }
inline uint32_t byte1(uint32_t w) { return (w >> 8) & 0xff; }
inline uint32_t byte0(uint32_t w) { return w & 0xff; }

uint32_t subWord(uint32_t w) {
    return (sbox(byte3(w)) << 24) | (sbox(byte2(w)) << 16) | (sbox(byte1(w)) << 8) | sbox(byte0(w));
}

uint32_t rotWord(uint32_t w) { return (w << 8) | (w >> 24); }

// InvMixColumns of one round-key word: the decryption tables combine InvSubBytes
// with InvMixColumns, so feeding them S[b] leaves InvMixColumns(b).
uint32_t invMixColumn(uint32_t w) {
    return kDecTable0.v[sbox(byte3(w))] ^ kDecTable1.v[sbox(byte2(w))] ^ kDecTable2.v[sbox(byte1(w))] ^
           kDecTable3.v[sbox(byte0(w))];
}

// One encryption round on the state s into t with the round key rk.
#define TESSIVA_ENC_ROUND(t, s, rk)                                                            \
    t##0 = kEncTable0.v[byte3(s##0)] ^ kEncTable1.v[byte2(s##1)] ^ kEncTable2.v[byte1(s##2)] ^ \
           kEncTable3.v[byte0(s##3)] ^ (rk)[0];                                                \
    t##1 = kEncTable0.v[byte3(s##1)] ^ kEncTable1.v[byte2(s##2)] ^ kEncTable2.v[byte1(s##3)] ^ \
           kEncTable3.v[byte0(s##0)] ^ (rk)[1];                                                \
    t##2 = kEncTable0.v[byte3(s##2)] ^ kEncTable1.v[byte2(s##3)] ^ kEncTable2.v[byte1(s##0)] ^ \
           kEncTable3.v[byte0(s##1)] ^ (rk)[2];                                                \
    t##3 = kEncTable0.v[byte3(s##3)] ^ kEncTable1.v[byte2(s##0)] ^ kEncTable2.v[byte1(s##1)] ^ \
           kEncTable3.v[byte0(s##2)] ^ (rk)[3]

// One decryption round (equivalent inverse cipher) on the state s into t.
#define TESSIVA_DEC_ROUND(t, s, rk)                                                            \
    t##0 = kDecTable0.v[byte3(s##0)] ^ kDecTable1.v[byte2(s##3)] ^ kDecTable2.v[byte1(s##2)] ^ \
           kDecTable3.v[byte0(s##1)] ^ (rk)[0];                                                \
    t##1 = kDecTable0.v[byte3(s##1)] ^ kDecTable1.v[byte2(s##0)] ^ kDecTable2.v[byte1(s##3)] ^ \
           kDecTable3.v[byte0(s##2)] ^ (rk)[1];                                                \
    t##2 = kDecTable0.v[byte3(s##2)] ^ kDecTable1.v[byte2(s##1)] ^ kDecTable2.v[byte1(s##0)] ^ \
           kDecTable3.v[byte0(s##3)] ^ (rk)[2];                                                \
    t##3 = kDecTable0.v[byte3(s##3)] ^ kDecTable1.v[byte2(s##2)] ^ kDecTable2.v[byte1(s##1)] ^ \
           kDecTable3.v[byte0(s##0)] ^ (rk)[3]

void encryptBlock(const uint32_t* rk, int rounds, const unsigned char* in, unsigned char* out) {
    uint32_t s0, s1, s2, s3;
    loadState(in, rk, s0, s1, s2, s3);
    uint32_t t0, t1, t2, t3;
    // Two rounds per step, the last full round pair ends in t; the final round
    // (without MixColumns) follows.
    for (int pair = rounds / 2 - 1;; --pair) {
        TESSIVA_ENC_ROUND(t, s, rk + 4);
        rk += 8;
        if (pair == 0) break;
        TESSIVA_ENC_ROUND(s, t, rk);
    }
    s0 = (sbox(byte3(t0)) << 24) ^ (sbox(byte2(t1)) << 16) ^ (sbox(byte1(t2)) << 8) ^ sbox(byte0(t3)) ^ rk[0];
    s1 = (sbox(byte3(t1)) << 24) ^ (sbox(byte2(t2)) << 16) ^ (sbox(byte1(t3)) << 8) ^ sbox(byte0(t0)) ^ rk[1];
    s2 = (sbox(byte3(t2)) << 24) ^ (sbox(byte2(t3)) << 16) ^ (sbox(byte1(t0)) << 8) ^ sbox(byte0(t1)) ^ rk[2];
    s3 = (sbox(byte3(t3)) << 24) ^ (sbox(byte2(t0)) << 16) ^ (sbox(byte1(t1)) << 8) ^ sbox(byte0(t2)) ^ rk[3];
    storeState(out, s0, s1, s2, s3);
}

inline uint32_t invSbox(uint32_t x) { return kInverseSbox.v[x]; }

void decryptBlock(const uint32_t* rk, int rounds, const unsigned char* in, unsigned char* out) {
    uint32_t s0, s1, s2, s3;
    loadState(in, rk, s0, s1, s2, s3);
    uint32_t t0, t1, t2, t3;
    for (int pair = rounds / 2 - 1;; --pair) {
        TESSIVA_DEC_ROUND(t, s, rk + 4);
        rk += 8;
        if (pair == 0) break;
        TESSIVA_DEC_ROUND(s, t, rk);
    }
    s0 = (invSbox(byte3(t0)) << 24) ^ (invSbox(byte2(t3)) << 16) ^ (invSbox(byte1(t2)) << 8) ^ invSbox(byte0(t1)) ^
         rk[0];
    s1 = (invSbox(byte3(t1)) << 24) ^ (invSbox(byte2(t0)) << 16) ^ (invSbox(byte1(t3)) << 8) ^ invSbox(byte0(t2)) ^
         rk[1];
    s2 = (invSbox(byte3(t2)) << 24) ^ (invSbox(byte2(t1)) << 16) ^ (invSbox(byte1(t0)) << 8) ^ invSbox(byte0(t3)) ^
         rk[2];
    s3 = (invSbox(byte3(t3)) << 24) ^ (invSbox(byte2(t2)) << 16) ^ (invSbox(byte1(t1)) << 8) ^ invSbox(byte0(t0)) ^
         rk[3];
    storeState(out, s0, s1, s2, s3);
}

#undef TESSIVA_ENC_ROUND
#undef TESSIVA_DEC_ROUND

int roundsFor(CAesCrypt::SE_AES_TYPE type) {
    switch (type) {
    case CAesCrypt::SE_AES_128: return 10;
    case CAesCrypt::SE_AES_192: return 12;
    case CAesCrypt::SE_AES_256: return 14;
    }
    return 0;
}

// FIPS-197 key expansion: 4 * (rounds + 1) words from keyWords words of key.
void expandKey(const unsigned char* key, int keyWords, int rounds, uint32_t* w) {
    for (int i = 0; i < keyWords; ++i) w[i] = loadBigEndian(key + 4 * i);
    const int total = 4 * (rounds + 1);
    for (int i = keyWords; i < total; ++i) {
        uint32_t temp = w[i - 1];
        if (i % keyWords == 0) {
            temp = subWord(rotWord(temp)) ^ kRoundConstants[i / keyWords - 1];
        } else if (keyWords > 6 && i % keyWords == 4) {
            temp = subWord(temp);
        }
        w[i] = w[i - keyWords] ^ temp;
    }
}

// The whole blocks of len bytes, one by one through block, then the tail copied.
template <typename BlockFn>
void processBuffer(const unsigned char* src, unsigned char* dst, uint32_t len, BlockFn block) {
    if (src == nullptr || dst == nullptr) return;
    const uint32_t whole = len - len % kBlockSize;
    for (uint32_t offset = 0; offset < whole; offset += kBlockSize) block(src + offset, dst + offset);
    if (whole < len && src != dst) std::memmove(dst + whole, src + whole, len - whole);
}

}  // namespace

CAesCrypt::CAesCrypt() : m_roundKeys{}, m_nRounds(0) {}

CAesCrypt::CAesCrypt(const CAesCrypt& other) : m_nRounds(other.m_nRounds) {
    std::memcpy(m_roundKeys, other.m_roundKeys, sizeof(m_roundKeys));
}

CAesCrypt& CAesCrypt::operator=(const CAesCrypt& other) {
    std::memmove(m_roundKeys, other.m_roundKeys, sizeof(m_roundKeys));
    m_nRounds = other.m_nRounds;
    return *this;
}

CAesCrypt::~CAesCrypt() = default;

void CAesCrypt::EncryptAES(const unsigned char* src, unsigned char* dst, uint32_t len) {
    if (src == nullptr || dst == nullptr || len == 0 || m_nRounds == 0) return;
    encryptBlock(m_roundKeys, m_nRounds, src, dst);
}

void CAesCrypt::DecryptAES(const unsigned char* src, unsigned char* dst, uint32_t len) {
    if (src == nullptr || dst == nullptr || len == 0 || m_nRounds == 0) return;
    decryptBlock(m_roundKeys, m_nRounds, src, dst);
}

bool CAesCrypt::SetEncryptKey(const unsigned char* key, SE_AES_TYPE type) {
    const int rounds = roundsFor(type);
    if (key == nullptr || rounds == 0) return false;
    expandKey(key, static_cast<int>(type) / 32, rounds, m_roundKeys);
    m_nRounds = rounds;
    return true;
}

bool CAesCrypt::SetDecryptKey(const unsigned char* key, SE_AES_TYPE type) {
    if (!SetEncryptKey(key, type)) return false;
    // Reverse the order of the round keys (groups of four words) ...
    for (int i = 0, j = 4 * m_nRounds; i < j; i += 4, j -= 4) {
        for (int k = 0; k < 4; ++k) {
            const uint32_t temp = m_roundKeys[i + k];
            m_roundKeys[i + k] = m_roundKeys[j + k];
            m_roundKeys[j + k] = temp;
        }
    }
    // ... and apply InvMixColumns to all but the first and the last.
    for (int i = 4; i < 4 * m_nRounds; ++i) m_roundKeys[i] = invMixColumn(m_roundKeys[i]);
    return true;
}

void CAesCrypt::Encrypt(const unsigned char* src, unsigned char* dst, uint32_t len) {
    processBuffer(src, dst, len,
                  [this](const unsigned char* in, unsigned char* out) { EncryptAES(in, out, kBlockSize); });
}

void CAesCrypt::Decrypt(const unsigned char* src, unsigned char* dst, uint32_t len) {
    processBuffer(src, dst, len,
                  [this](const unsigned char* in, unsigned char* out) { DecryptAES(in, out, kBlockSize); });
}

}  // namespace KSB
