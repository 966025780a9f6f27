#include "OBase64.h"
#include "OCharset.h"
#include "OMD5.h"
#include "OTEA.h"

#include "tests/support/TestTools.h"

#include <gtest/gtest.h>

using namespace reporter;
using testtools::Hex;

namespace {
std::string Md5Hex(const std::string& s) {
    const TMD5Digest d = MD5String(s.data(), s.size());
    return Hex(d.data(), d.size());
}
} // namespace

TEST(Base64, Rfc4648Vectors) {
    EXPECT_EQ(Base64Encode(std::string("")), "");
    EXPECT_EQ(Base64Encode(std::string("f")), "Zg==");
    EXPECT_EQ(Base64Encode(std::string("fo")), "Zm8=");
    EXPECT_EQ(Base64Encode(std::string("foo")), "Zm9v");
    EXPECT_EQ(Base64Encode(std::string("foob")), "Zm9vYg==");
    EXPECT_EQ(Base64Encode(std::string("fooba")), "Zm9vYmE=");
    EXPECT_EQ(Base64Encode(std::string("foobar")), "Zm9vYmFy");
    EXPECT_EQ(Base64EncodedLength(0), 0u);
    EXPECT_EQ(Base64EncodedLength(4), 8u);
}

TEST(Base64, AgreesWithTheBase64Tool) {
    testtools::TTempDir dir;
    for (size_t size : {1u, 2u, 3u, 255u, 4096u, 100001u}) {
        const auto data = testtools::RandomBytes(size, uint32_t(size));
        testtools::WriteFile(dir.File("in"), data);
        const auto tool = testtools::Run("base64 -w0 " + dir.File("in"));
        ASSERT_EQ(tool.ExitCode, 0);
        EXPECT_EQ(Base64Encode(data.data(), data.size()), tool.Output) << size;
    }
}

TEST(MD5, Rfc1321Vectors) {
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(MD5, AgreesWithMd5sumAcrossPaddingBoundaries) {
    testtools::TTempDir dir;
    for (size_t size : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000003u}) {
        const auto data = testtools::RandomBytes(size, uint32_t(size) + 7);
        testtools::WriteFile(dir.File("in"), data);
        const auto tool = testtools::Run("md5sum " + dir.File("in"));
        ASSERT_EQ(tool.ExitCode, 0);
        const TMD5Digest d = MD5String(data.data(), data.size());
        EXPECT_EQ(Hex(d.data(), d.size()), tool.Output.substr(0, 32)) << size;

        // Fed in uneven pieces, the digest is the same.
        TMD5Context context;
        for (size_t at = 0; at < size;) {
            const size_t piece = std::min<size_t>(size - at, 1 + at % 97);
            context.Update(data.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(context.Final(), d);
    }
}

TEST(TEA, CbcRoundTripAndChainingReset) {
    SetTEAKey("pass phrase");
    for (size_t size : {0u, 5u, 8u, 13u, 64u, 1001u}) {
        const auto plain = testtools::RandomBytes(size, uint32_t(size) + 3);
        std::vector<uint8_t> cipher(size), back(size);
        TEAEncryptBuffer(plain.data(), cipher.data(), size);
        if (size >= 8) {
            EXPECT_NE(cipher, plain);
        }
        TEADecryptBuffer(cipher.data(), back.data(), size);
        EXPECT_EQ(back, plain) << size;
        // In place works too.
        TEADecryptBuffer(cipher.data(), cipher.data(), size);
        EXPECT_EQ(cipher, plain) << size;
    }

    const uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t first[8], second[8];
    TEADecryptBuffer(block, first, 8);
    TEADecryptBuffer(block, second, 8);
    EXPECT_EQ(Hex(first, 8), Hex(second, 8));

    // A 5-byte buffer is the tail rule alone: the enciphered all-0xFF chaining value masks it.
    uint8_t ones[8], mask[8];
    std::fill(ones, ones + 8, 0xFF);
    TEAEncipher(ones, mask);
    const uint8_t five[5] = {9, 8, 7, 6, 5};
    uint8_t out[5];
    TEADecryptBuffer(five, out, 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(out[i], five[i] ^ mask[i]);

    uint8_t enc[8], dec[8];
    TEAEncipher(block, enc);
    TEADecipher(enc, dec);
    EXPECT_EQ(Hex(dec, 8), Hex(block, 8));
    SetTEAKey("another phrase");
    uint8_t enc2[8];
    TEAEncipher(block, enc2);
    EXPECT_NE(Hex(enc, 8), Hex(enc2, 8));
}

TEST(Charset, FromTheLocaleName) {
    EXPECT_EQ(CharsetOfLocale("C"), 0);
    EXPECT_EQ(CharsetOfLocale("en_US.UTF-8"), 0);
    EXPECT_EQ(CharsetOfLocale("de_DE@euro"), 0);
    EXPECT_EQ(CharsetOfLocale("ru_RU.UTF-8"), 204);
    EXPECT_EQ(CharsetOfLocale("pl_PL.UTF-8"), 238);
    EXPECT_EQ(CharsetOfLocale("en_US.ISO-8859-2"), 238);
    EXPECT_EQ(CharsetOfLocale("el_GR"), 161);
    EXPECT_EQ(CharsetOfLocale("ja_JP.eucJP"), 128);
    EXPECT_EQ(CharsetOfLocale("zh_TW.UTF-8"), 136);
    EXPECT_EQ(CharsetOfLocale("zh_CN.UTF-8"), 134);
}
