#include "OTEA.h"

#include "OMD5.h"

#include <cstring>

namespace reporter {

namespace {

constexpr uint32_t Delta = 0x9E3779B9;
uint32_t gKey[4] = {0, 0, 0, 0};

uint32_t LoadBE(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void StoreBE(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

} // namespace

void SetTEAKey(const std::string& passPhrase) {
    const TMD5Digest digest = MD5String(passPhrase.data(), passPhrase.size());
    for (int i = 0; i < 4; ++i)
        gKey[i] = LoadBE(digest.data() + 4 * i);
}

void TEAEncipher(const uint8_t in[8], uint8_t out[8]) {
    uint32_t y = LoadBE(in), z = LoadBE(in + 4), sum = 0;
    const uint32_t k0 = gKey[0], k1 = gKey[1], k2 = gKey[2], k3 = gKey[3];
    for (int i = 0; i < 32; ++i) {
        sum += Delta;
        y += (z << 4) + (z ^ k0) + ((z >> 5) ^ sum) + k1;
        z += (y << 4) + (k2 ^ y) + ((y >> 5) ^ sum) + k3;
    }
    StoreBE(out, y);
    StoreBE(out + 4, z);
}

void TEADecipher(const uint8_t in[8], uint8_t out[8]) {
    uint32_t y = LoadBE(in), z = LoadBE(in + 4), sum = 0xC6EF3720;
    const uint32_t k0 = gKey[0], k1 = gKey[1], k2 = gKey[2], k3 = gKey[3];
    for (int i = 0; i < 32; ++i) {
        z -= (y << 4) + (k2 ^ y) + ((y >> 5) ^ sum) + k3;
        y -= (z << 4) + (z ^ k0) + ((z >> 5) ^ sum) + k1;
        sum -= Delta;
    }
    StoreBE(out, y);
    StoreBE(out + 4, z);
}

void TEADecryptBuffer(const uint8_t* in, uint8_t* out, size_t length) {
    uint8_t chain[8];
    std::memset(chain, 0xFF, 8);
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint8_t cipher[8], plain[8];
        std::memcpy(cipher, in + i, 8);
        TEADecipher(cipher, plain);
        for (int j = 0; j < 8; ++j)
            out[i + j] = plain[j] ^ chain[j];
        std::memcpy(chain, cipher, 8);
    }
    if (i < length) {
        TEAEncipher(chain, chain);
        for (size_t j = 0; i + j < length; ++j)
            out[i + j] = in[i + j] ^ chain[j];
    }
}

void TEAEncryptBuffer(const uint8_t* in, uint8_t* out, size_t length) {
    uint8_t chain[8];
    std::memset(chain, 0xFF, 8);
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint8_t block[8];
        for (int j = 0; j < 8; ++j)
            block[j] = in[i + j] ^ chain[j];
        TEAEncipher(block, chain);
        std::memcpy(out + i, chain, 8);
    }
    if (i < length) {
        TEAEncipher(chain, chain);
        for (size_t j = 0; i + j < length; ++j)
            out[i + j] = in[i + j] ^ chain[j];
    }
}

} // namespace reporter
