#include "OCrc32.h"
#include "OErrors.h"
#include "OGZipReader.h"
#include "OTGZWriter.h"
#include "OZLib.h"

#include "tests/support/TestTools.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

using namespace reporter;
namespace {
testtools::TCommandResult Shell(const std::string& command) {
    return testtools::Run(command);
}
} // namespace

TEST(Packing, Crc32) {
    EXPECT_EQ(Crc32("", 0), 0u);
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(UpdateCrc32(Crc32("1234", 4), "56789", 5), 0xCBF43926u);
}

TEST(Packing, TarGzAgainstGnuTarAndGzip) {
    testtools::TTempDir dir;
    const auto big = testtools::RandomBytes(70000, 5);
    testtools::WriteFile(dir.File("empty.txt"), {});
    testtools::WriteFile(dir.File("exact.bin"), testtools::RandomBytes(1024, 6));
    testtools::WriteFile(dir.File("big.bin"), big);
    utimbuf times{1600000000, 1600000000};
    ASSERT_EQ(utime(dir.File("big.bin").c_str(), &times), 0);

    const std::string target = dir.File("CompressFiles.tgz");
    {
        TTGZWriter writer(target);
        writer.AddFile(dir.File("empty.txt"));
        writer.AddFile(dir.File("exact.bin"));
        writer.AddFile(dir.File("big.bin"), "/some/folder/renamed.bin");
        TOstrelStream stream;
        stream.Write("skipped-report text", 19);
        stream.SetPosition(8);
        writer.AddStream(stream, "report.txt", 1700000000);
        // Header, no data; header, two blocks; header, 137 blocks; header, one block; two end blocks.
        writer.Finish();
        EXPECT_EQ(writer.TarData().size(), 512u * (1 + 1 + 2 + 1 + 137 + 1 + 1 + 2));
    }

    EXPECT_EQ(Shell("gzip -t " + target).ExitCode, 0);
    const auto listing = Shell("gzip -lN " + target);
    EXPECT_EQ(listing.ExitCode, 0);
    EXPECT_NE(listing.Output.find("CompressFiles.tar"), std::string::npos) << listing.Output;

    const auto tar = Shell("tar -tvzf " + target);
    ASSERT_EQ(tar.ExitCode, 0) << tar.Output;
    EXPECT_EQ(tar.Output.find("warning"), std::string::npos) << tar.Output;
    EXPECT_NE(tar.Output.find("-rw-r--r-- 0/0               0"), std::string::npos) << tar.Output;
    EXPECT_NE(tar.Output.find("70000 2020-09-13"), std::string::npos) << tar.Output;
    for (const char* name : {"empty.txt", "exact.bin", "renamed.bin", "report.txt"})
        EXPECT_NE(tar.Output.find(name), std::string::npos) << name;

    ASSERT_EQ(
        Shell("mkdir " + dir.File("out") + " && tar -xzf " + target + " -C " + dir.File("out")).ExitCode, 0);
    EXPECT_EQ(Shell("cmp " + dir.File("big.bin") + " " + dir.File("out/renamed.bin")).ExitCode, 0);
    EXPECT_EQ(Shell("cmp " + dir.File("exact.bin") + " " + dir.File("out/exact.bin")).ExitCode, 0);
    const auto report = testtools::ReadFile(dir.File("out/report.txt"));
    EXPECT_EQ(std::string(report.begin(), report.end()), "report text");
    struct stat info;
    ASSERT_EQ(stat(dir.File("out/exact.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    // The reader gets the tar data back.
    const std::vector<uint8_t> tarData = ReadGZipFile(target);
    EXPECT_EQ(Shell("gzip -dc " + target + " > " + dir.File("plain.tar")).ExitCode, 0);
    EXPECT_EQ(tarData, testtools::ReadFile(dir.File("plain.tar")));
}

TEST(Packing, LongNamesAreCutAndMissingFilesRaise) {
    testtools::TTempDir dir;
    const std::string target = dir.File("x.tgz");
    TTGZWriter writer(target);
    const std::string longName(150, 'n');
    writer.AddData("abc", 3, longName, 0);
    EXPECT_THROW(writer.AddFile(dir.File("missing")), EFileError);
    writer.Finish();
    const auto tar = Shell("tar -tzf " + target);
    EXPECT_EQ(tar.Output, std::string(100, 'n') + "\n");
}

TEST(Packing, ReaderOfGzipWrittenByGzip) {
    testtools::TTempDir dir;
    const auto data = testtools::RandomBytes(200000, 8);
    testtools::WriteFile(dir.File("data"), data);
    ASSERT_EQ(Shell("gzip -9 " + dir.File("data")).ExitCode, 0); // writes a name field
    EXPECT_EQ(ReadGZipFile(dir.File("data.gz")), data);
}

TEST(Packing, CorruptGzipIsReported) {
    const auto data = testtools::RandomBytes(5000, 9);
    const std::vector<uint8_t> good = BuildGZip(data, "d.tar");
    EXPECT_EQ(ReadGZipData(good.data(), good.size()), data);

    std::vector<uint8_t> badCrc = good;
    badCrc[badCrc.size() - 6] ^= 1;
    EXPECT_THROW(ReadGZipData(badCrc.data(), badCrc.size()), EZLibError);

    std::vector<uint8_t> badLength = good;
    badLength[badLength.size() - 1] ^= 1;
    EXPECT_THROW(ReadGZipData(badLength.data(), badLength.size()), EZLibError);

    for (size_t cut : {size_t(0), size_t(5), size_t(12), good.size() / 2, good.size() - 3})
        EXPECT_THROW(ReadGZipData(good.data(), cut), EZLibError) << cut;

    // A header CRC (FHCRC) is checked too.
    std::vector<uint8_t> withHeaderCrc = good;
    withHeaderCrc[3] |= 0x02;
    const size_t headerEnd =
        size_t(std::find(withHeaderCrc.begin() + 10, withHeaderCrc.end(), 0) - withHeaderCrc.begin()) + 1;
    const uint32_t headerCrc = Crc32(withHeaderCrc.data(), headerEnd);
    withHeaderCrc.insert(withHeaderCrc.begin() + long(headerEnd),
                         {uint8_t(headerCrc), uint8_t(headerCrc >> 8)});
    EXPECT_EQ(ReadGZipData(withHeaderCrc.data(), withHeaderCrc.size()), data);
    withHeaderCrc[headerEnd] ^= 1;
    EXPECT_THROW(ReadGZipData(withHeaderCrc.data(), withHeaderCrc.size()), EZLibError);

    std::vector<uint8_t> badBody = good;
    for (size_t i = 20; i < 60; ++i)
        badBody[i] = 0xFF;
    EXPECT_THROW(ReadGZipData(badBody.data(), badBody.size()), EZLibError);

    // A bomb beyond the caller's limit is refused.
    const std::vector<uint8_t> zeros(1 << 20, 0);
    const std::vector<uint8_t> bomb = BuildGZip(zeros, "z");
    EXPECT_THROW(ReadGZipData(bomb.data(), bomb.size(), 1000), EZLibError);
}

TEST(Packing, ZlibBufferRoundTripAndCorruption) {
    const auto data = testtools::RandomBytes(30000, 10);
    const std::vector<uint8_t> packed = ZCompressBuffer(data.data(), data.size());
    EXPECT_EQ(packed[0], 0x78);
    EXPECT_EQ(ZDecompressBuffer(packed.data(), packed.size()), data);
    const std::vector<uint8_t> empty = ZCompressBuffer("", 0);
    EXPECT_TRUE(ZDecompressBuffer(empty.data(), empty.size()).empty());

    std::vector<uint8_t> truncated(packed.begin(), packed.begin() + 1000);
    EXPECT_THROW(ZDecompressBuffer(truncated.data(), truncated.size()), EZLibError);
    std::vector<uint8_t> damaged = packed;
    damaged[damaged.size() - 1] ^= 0xFF; // Adler-32
    EXPECT_THROW(ZDecompressBuffer(damaged.data(), damaged.size()), EZLibError);
    EXPECT_NO_THROW(CheckZLibVersion());
}
