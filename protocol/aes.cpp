// AES-128 through Nettle: the cipher is the library's, only the packet
// protocol's zero padding and its process-wide key are ours.
#include "protocol/aes.h"

#include <nettle/aes.h>
#include <nettle/cbc.h>

#include <cstddef>
#include <cstring>

namespace {

// The key set by AES_Init, expanded once for each direction.
aes128_ctx gEncryptKey{};
aes128_ctx gDecryptKey{};

// Nettle's CBC helpers take the block cipher as a nettle_cipher_func; these
// have exactly that type, so no call goes through a cast function pointer.
void encryptBlocks(const void *ctx, size_t length, uint8_t *dst, const uint8_t *src) {
    aes128_encrypt(static_cast<const aes128_ctx *>(ctx), length, dst, src);
}

void decryptBlocks(const void *ctx, size_t length, uint8_t *dst, const uint8_t *src) {
    aes128_decrypt(static_cast<const aes128_ctx *>(ctx), length, dst, src);
}

size_t wholeBlocks(uint32_t length) { return static_cast<size_t>(length) / AES_BLOCK_SIZE * AES_BLOCK_SIZE; }

}  // namespace

void AES_Init(const uint8_t key[16]) {
    aes128_set_encrypt_key(&gEncryptKey, key);
    aes128_invert_key(&gDecryptKey, &gEncryptKey);
}

void BlockEncrypt(uint8_t block[16]) { aes128_encrypt(&gEncryptKey, AES_BLOCK_SIZE, block, block); }

void BlockDecrypt(uint8_t block[16]) { aes128_decrypt(&gDecryptKey, AES_BLOCK_SIZE, block, block); }

uint32_t AES_add_zeros(uint8_t *buffer, uint32_t length) {
    const uint32_t padded = (length / 16 + 1) * 16;
    std::memset(buffer + length, 0, padded - length);
    return padded;
}

void AES_Encrypt(const uint8_t *source, uint8_t *target, uint32_t length, const uint8_t iv[16]) {
    // Nettle works in place or between separate buffers; the copy first also
    // carries a tail shorter than a block over unchanged.
    if (source != target) std::memmove(target, source, length);
    uint8_t chain[AES_BLOCK_SIZE];
    std::memcpy(chain, iv, sizeof chain);
    cbc_encrypt(&gEncryptKey, encryptBlocks, AES_BLOCK_SIZE, chain, wholeBlocks(length), target, target);
}

void AES_Decrypt(uint8_t *target, const uint8_t *source, uint32_t length, const uint8_t iv[16]) {
    if (source != target) std::memmove(target, source, length);
    uint8_t chain[AES_BLOCK_SIZE];
    std::memcpy(chain, iv, sizeof chain);
    cbc_decrypt(&gDecryptKey, decryptBlocks, AES_BLOCK_SIZE, chain, wholeBlocks(length), target, target);
}
