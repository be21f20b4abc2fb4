#pragma once

#include <cstdint>

#include "Tessiva/TessivaExport.h"

namespace KSB {

// AES (FIPS-197) with 128-, 192- and 256-bit keys, applied to a buffer block by
// block in ECB fashion: each whole 16-byte block on its own, without chaining,
// initialisation vector or padding. A tail shorter than a block is copied
// unchanged, so the output always has exactly the input's length. The key comes
// from the caller; the object keeps only the expanded schedule.
//
// Blocks are processed only once a key has been set: before that (and after a
// failed first SetEncryptKey) the whole blocks of the destination stay untouched,
// while the tail shorter than a block is still copied, as always (it never
// depends on the key, and a subclass with block operations of its own needs no
// key of this class).
// Encrypt and Decrypt do nothing when the source or the destination is null.
// Source and destination may be the same buffer.
//
// Not constant-time: the rounds look up tables indexed by bytes of the state,
// which depend on the key, so the cache lines they touch, and with them the
// timing, depend on the key; a process that shares the cache (or measures the
// time closely) can learn key bits. Use it only where that does not matter.
class TESSIVA_EXPORT CAesCrypt {
public:
    // Key length in bits; the key is read as 16, 24 or 32 bytes.
    enum SE_AES_TYPE { SE_AES_128 = 128, SE_AES_192 = 192, SE_AES_256 = 256 };

    CAesCrypt();
    CAesCrypt(const CAesCrypt& other);
    CAesCrypt& operator=(const CAesCrypt& other);
    virtual ~CAesCrypt();

private:
    // One 16-byte block from src into dst; nothing when src or dst is null or len is 0.
    virtual void EncryptAES(const unsigned char* src, unsigned char* dst, uint32_t len);
    virtual void DecryptAES(const unsigned char* src, unsigned char* dst, uint32_t len);

public:
    // Builds the encryption schedule. False (object unchanged) for a null key or a
    // type other than the three above.
    virtual bool SetEncryptKey(const unsigned char* key, SE_AES_TYPE type);
    // Builds the decryption schedule (equivalent inverse cipher); false when
    // SetEncryptKey fails.
    virtual bool SetDecryptKey(const unsigned char* key, SE_AES_TYPE type);
    virtual void Encrypt(const unsigned char* src, unsigned char* dst, uint32_t len);
    virtual void Decrypt(const unsigned char* src, unsigned char* dst, uint32_t len);

private:
    // Expanded key schedule, four key bytes a word, the first byte most significant.
    uint32_t m_roundKeys[60];
    // 10, 12 or 14; 0 while no key has been set.
    int32_t m_nRounds;
};

}  // namespace KSB
