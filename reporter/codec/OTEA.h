#pragma once
// The reporter's 64-bit block cipher (a TEA variant with its own round function, 128-bit key, 32 cycles)
// and its CBC mode with a chaining value that starts at eight 0xFF bytes. The key is process-wide: it
// protects names in the embedded debug data, which are read one report at a time.
#include <cstddef>
#include <cstdint>
#include <string>

namespace reporter {

// key := MD5 of the pass phrase, as four big-endian words.
void SetTEAKey(const std::string& passPhrase);

// One 8-byte block; in and out may be the same.
void TEAEncipher(const uint8_t in[8], uint8_t out[8]);
void TEADecipher(const uint8_t in[8], uint8_t out[8]);

// CBC over a buffer; a tail shorter than a block is combined with the enciphered chaining value.
// in and out may be the same.
void TEADecryptBuffer(const uint8_t* in, uint8_t* out, size_t length);
// The enciphering direction, for the build tools that protect the names and for tests.
void TEAEncryptBuffer(const uint8_t* in, uint8_t* out, size_t length);

} // namespace reporter
