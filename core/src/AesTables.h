#pragma once

// The constant tables of the table-driven AES: four combined round tables for
// encryption (SubBytes with MixColumns) and four for decryption (InvSubBytes with
// InvMixColumns), the inverse S-box for the last decryption round and the round
// constants of the key expansion. They are computed at compile time from the
// field arithmetic of GF(2^8) with the polynomial x^8 + x^4 + x^3 + x + 1.
//
// There is no separate forward S-box: its values are the low bytes of
// kEncTable1 (and kEncTable2), whose low byte is 1 * S[x].

#include <cstdint>

namespace tessiva {
namespace aes {

struct WordTable {
    uint32_t v[256];
};

struct ByteTable {
    uint8_t v[256];
};

constexpr uint8_t xtime(uint8_t x) { return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0x00)); }

constexpr uint8_t gmul(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    while (b != 0) {
        if (b & 1) product ^= a;
        a = xtime(a);
        b = static_cast<uint8_t>(b >> 1);
    }
    return product;
}

// Multiplicative inverse as x^254 (0 maps to 0).
constexpr uint8_t ginverse(uint8_t x) {
    uint8_t result = 1;
    uint8_t power = x;
    for (int exponent = 254; exponent != 0; exponent >>= 1) {
        if (exponent & 1) result = gmul(result, power);
        power = gmul(power, power);
    }
    return x == 0 ? 0 : result;
}

constexpr uint8_t rotl8(uint8_t x, int n) { return static_cast<uint8_t>((x << n) | (x >> (8 - n))); }

constexpr uint8_t sboxValue(uint8_t x) {
    const uint8_t b = ginverse(x);
    return static_cast<uint8_t>(b ^ rotl8(b, 1) ^ rotl8(b, 2) ^ rotl8(b, 3) ^ rotl8(b, 4) ^ 0x63);
}

constexpr ByteTable makeInverseSbox() {
    ByteTable table{};
    for (int x = 0; x < 256; ++x) table.v[sboxValue(static_cast<uint8_t>(x))] = static_cast<uint8_t>(x);
    return table;
}

constexpr uint32_t pack(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return (uint32_t{b0} << 24) | (uint32_t{b1} << 16) | (uint32_t{b2} << 8) | uint32_t{b3};
}

constexpr uint32_t rotr32(uint32_t x, int n) { return n == 0 ? x : (x >> n) | (x << (32 - n)); }

// Column (2s, s, s, 3s) rotated right by 8 * rotation bits.
constexpr WordTable makeEncTable(int rotation) {
    WordTable table{};
    for (int x = 0; x < 256; ++x) {
        const uint8_t s = sboxValue(static_cast<uint8_t>(x));
        table.v[x] = rotr32(pack(gmul(s, 2), s, s, gmul(s, 3)), 8 * rotation);
    }
    return table;
}

// Column (14i, 9i, 13i, 11i) of the inverse S-box value i, rotated right by 8 * rotation bits.
constexpr WordTable makeDecTable(int rotation, const ByteTable& inverse) {
    WordTable table{};
    for (int x = 0; x < 256; ++x) {
        const uint8_t i = inverse.v[x];
        table.v[x] = rotr32(pack(gmul(i, 14), gmul(i, 9), gmul(i, 13), gmul(i, 11)), 8 * rotation);
    }
    return table;
}

constexpr ByteTable kInverseSbox = makeInverseSbox();

alignas(64) constexpr WordTable kEncTable0 = makeEncTable(0);
alignas(64) constexpr WordTable kEncTable1 = makeEncTable(1);
alignas(64) constexpr WordTable kEncTable2 = makeEncTable(2);
alignas(64) constexpr WordTable kEncTable3 = makeEncTable(3);

alignas(64) constexpr WordTable kDecTable0 = makeDecTable(0, kInverseSbox);
alignas(64) constexpr WordTable kDecTable1 = makeDecTable(1, kInverseSbox);
alignas(64) constexpr WordTable kDecTable2 = makeDecTable(2, kInverseSbox);
alignas(64) constexpr WordTable kDecTable3 = makeDecTable(3, kInverseSbox);

// Round constants x^(i-1) in the most significant byte.
constexpr uint32_t kRoundConstants[10] = {0x01000000, 0x02000000, 0x04000000, 0x08000000, 0x10000000,
                                          0x20000000, 0x40000000, 0x80000000, 0x1b000000, 0x36000000};

// S[x], taken from the low byte of the combined table.
constexpr uint32_t sbox(uint32_t x) { return kEncTable1.v[x] & 0xff; }

}  // namespace aes
}  // namespace tessiva
