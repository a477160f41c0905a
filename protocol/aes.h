// AES-128 (FIPS-197) in CBC mode with the zero padding of the packet protocol,
// the cipher itself from Nettle. The expanded key is process-wide: AES_Init
// sets it for the block and CBC functions that follow.
#ifndef ZV_PROTOCOL_AES_H
#define ZV_PROTOCOL_AES_H

#include <cstdint>

// Expands the 16-byte key for encryption and decryption.
void AES_Init(const uint8_t key[16]);

// One 16-byte block in place with the current round keys.
void BlockEncrypt(uint8_t block[16]);
void BlockDecrypt(uint8_t block[16]);

// Pads `length` bytes with zeros to the next multiple of 16, adding a whole
// block of zeros when `length` already is one. `buffer` must have room for
// `length` + 16 bytes. Returns the padded length.
uint32_t AES_add_zeros(uint8_t *buffer, uint32_t length);

// CBC over the whole 16-byte blocks of `length` bytes; a shorter tail is copied
// unchanged. Source and target may be the same buffer.
void AES_Encrypt(const uint8_t *source, uint8_t *target, uint32_t length, const uint8_t iv[16]);
void AES_Decrypt(uint8_t *target, const uint8_t *source, uint32_t length, const uint8_t iv[16]);

#endif
