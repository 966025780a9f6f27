#include "RepsnapTools.h"

#include "OBase64.h"
#include "ODebugData.h"
#include "OErrors.h"
#include "OLData.h"
#include "OOptions.h"
#include "OZLib.h"

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sstream>

using namespace reporter;

namespace {

const std::function<std::string()> NoPassword;

// Three routines over two files, with a gap and an overlapping span that must lose.
TDebugTable SampleTable() {
    TDebugTable table;
    table.Routines = {
        {"ns::TOne", "Run", 10, 0x1000}, {"", "Helper", 40, 0x1040}, {"ns::TTwo", "Stop", 5, 0x2000}};
    std::vector<TDebugSpan> spans = {
        {0x1000, 0x1010, "one.cpp", 10, 0}, {0x1010, 0x1020, "one.cpp", 11, 0},
        {0x1020, 0x1030, "one.cpp", 11, 0}, // merges with the one before
        {0x1040, 0x1050, "one.cpp", 41, 1}, // after a gap
        {0x1012, 0x101A, "other.h", 99, 1}, // inside what came first: dropped
        {0x2000, 0x2008, "two.cpp", 6, 2},  {0x2008, 0x2010, "two.cpp", 4, 2},
    };
    table.Units = BuildDebugUnits(spans);
    return table;
}

TEST(DebugData, BuildsUnitsFromSpansAndFindsEveryOffset) {
    const TDebugTable table = SampleTable();
    ASSERT_EQ(table.Units.size(), 2u);
    EXPECT_EQ(table.Units[0].Name, "one.cpp");
    EXPECT_EQ(table.Units[0].Low, 0x1000u);
    EXPECT_EQ(table.Units[0].High, 0x1050u);
    ASSERT_EQ(table.Units[0].Rows.size(), 4u); // 10, 11 (merged), the gap, 41
    EXPECT_EQ(table.Units[0].Rows[2].Routine, -1);

    const TDebugData data(WriteDebugData(table), CurrentOptionsDataVersion);
    EXPECT_EQ(data.UnitCount(), 2u);
    EXPECT_EQ(data.RoutineCount(), 3u);
    const std::map<uint32_t, std::pair<std::string, int>> expected = {
        {0x1000, {"ns::TOne.Run", 10}}, {0x100F, {"ns::TOne.Run", 10}}, {0x1010, {"ns::TOne.Run", 11}},
        {0x102F, {"ns::TOne.Run", 11}}, {0x1040, {"Helper", 41}},       {0x104F, {"Helper", 41}},
        {0x2004, {"ns::TTwo.Stop", 6}}, {0x200F, {"ns::TTwo.Stop", 4}},
    };
    for (const auto& [offset, want] : expected) {
        const std::optional<TDebugLocation> at = data.Find(offset, NoPassword);
        ASSERT_TRUE(at) << std::hex << offset;
        EXPECT_EQ(at->Routine, want.first) << std::hex << offset;
        EXPECT_EQ(at->Line, want.second) << std::hex << offset;
    }
    const std::optional<TDebugLocation> two = data.Find(0x2008, NoPassword);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->Unit, "two.cpp");
    EXPECT_EQ(two->FirstLine, 5u);
    EXPECT_EQ(two->RoutineStart, 0x2000u);
    // Before the first unit, in the gap, between units and at a unit's end nothing is found.
    for (uint32_t offset : {0x0u, 0xFFFu, 0x1030u, 0x103Fu, 0x1050u, 0x1FFFu, 0x2010u, 0xFFFFFFFFu})
        EXPECT_FALSE(data.Find(offset, NoPassword)) << std::hex << offset;

    // What was written reads back whole.
    const TDebugTable decoded = data.Decode(NoPassword);
    ASSERT_EQ(decoded.Units.size(), table.Units.size());
    for (size_t u = 0; u < table.Units.size(); ++u) {
        EXPECT_EQ(decoded.Units[u].Name, table.Units[u].Name);
        ASSERT_EQ(decoded.Units[u].Rows.size(), table.Units[u].Rows.size());
        for (size_t r = 0; r < table.Units[u].Rows.size(); ++r) {
            EXPECT_EQ(decoded.Units[u].Rows[r].Offset, table.Units[u].Rows[r].Offset);
            EXPECT_EQ(decoded.Units[u].Rows[r].Line, table.Units[u].Rows[r].Line);
            EXPECT_EQ(decoded.Units[u].Rows[r].Routine, table.Units[u].Rows[r].Routine);
        }
    }
}

TEST(DebugData, ATruncatedOrDamagedBlockIsRefusedWithoutFault) {
    const std::vector<uint8_t> bytes = WriteDebugData(SampleTable());
    for (size_t length = 0; length < bytes.size(); ++length)
        EXPECT_THROW(TDebugData(std::vector<uint8_t>(bytes.begin(), bytes.begin() + length), 502), EReadError)
            << "length " << length;
    // Random damage: a block is either refused or, when it still frames, answers every lookup.
    std::mt19937 random(7);
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> damaged = bytes;
        for (int k = 0; k < 1 + round % 4; ++k)
            damaged[random() % damaged.size()] ^= uint8_t(1 + random() % 255);
        try {
            const TDebugData data(damaged, 502);
            for (uint32_t offset = 0xFF0; offset < 0x2020; offset += 7)
                (void)data.Find(offset, NoPassword);
        } catch (const EReadError&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
    // Counts that promise more than the block holds.
    std::vector<uint8_t> lying = bytes;
    lying[8] = 0xFF;
    lying[9] = 0xFF;
    EXPECT_THROW(TDebugData(lying, 502), EReadError);
    std::vector<uint8_t> wrongMagic = bytes;
    wrongMagic[0] ^= 1;
    EXPECT_THROW(TDebugData(wrongMagic, 502), EReadError);
}

TEST(DebugData, NumbersAreDecodedToTheirBoundsAndNoFurther) {
    auto uleb = [](std::vector<uint8_t> bytes) {
        TDebugReader in(bytes.data(), bytes.size());
        return in.ReadULEB();
    };
    auto sleb = [](std::vector<uint8_t> bytes) {
        TDebugReader in(bytes.data(), bytes.size());
        return in.ReadSLEB();
    };
    auto tenth = [](uint8_t fill, uint8_t last) {
        std::vector<uint8_t> bytes(9, fill);
        bytes.push_back(last);
        return bytes;
    };
    EXPECT_EQ(uleb({0x7F}), 0x7Fu);
    EXPECT_EQ(uleb(tenth(0xFF, 0x01)), UINT64_MAX);
    EXPECT_THROW(uleb(tenth(0xFF, 0x02)), EReadError); // a 65th bit
    EXPECT_THROW(uleb(tenth(0xFF, 0x81)), EReadError); // an eleventh byte
    EXPECT_EQ(sleb({0x40}), -64);
    EXPECT_EQ(sleb({0x3F}), 63);
    EXPECT_EQ(sleb(tenth(0xFF, 0x00)), INT64_MAX);
    EXPECT_EQ(sleb(tenth(0x80, 0x7F)), INT64_MIN);
    EXPECT_THROW(sleb(tenth(0x80, 0x01)), EReadError); // +2^63 does not fit
    EXPECT_THROW(sleb(tenth(0x80, 0x80)), EReadError);
    // Nine bytes whose sign bit is the 63rd: the sign reaches the top bit without overflow.
    std::vector<uint8_t> nine(8, 0x80);
    nine.push_back(0x40);
    EXPECT_EQ(sleb(nine), -(int64_t(1) << 62));
}

TEST(DebugData, ALineTableThatWrapsOrOverflowsIsRefused) {
    TDebugTable table;
    table.Routines = {{"", "Run", 10, 0x100}};
    table.Units = {{"one.cpp", 0x100, 0x200, {{0x100, 10, 0}, {0x110, 11, 0}}}};
    const std::vector<uint8_t> good = WriteDebugData(table);
    // The last row: step 0x10, line +1, same routine.
    ASSERT_GE(good.size(), 3u);
    ASSERT_EQ(std::vector<uint8_t>(good.end() - 3, good.end()), (std::vector<uint8_t>{0x10, 0x01, 0x00}));
    EXPECT_NO_THROW(TDebugData(good, 502));
    auto withLastRow = [&](std::vector<uint8_t> row) {
        std::vector<uint8_t> bytes(good.begin(), good.end() - 3);
        bytes.insert(bytes.end(), row.begin(), row.end());
        return bytes;
    };
    // A step of 2^64 - 16: the offset would wrap back below the unit's start.
    std::vector<uint8_t> wrap = {0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x01, 0x00};
    EXPECT_THROW(TDebugData(withLastRow(wrap), 502), EReadError);
    // The last offset inside the unit is taken, its end is not.
    EXPECT_NO_THROW(TDebugData(withLastRow({0xFF, 0x01, 0x01, 0x00}), 502));
    EXPECT_THROW(TDebugData(withLastRow({0x80, 0x02, 0x01, 0x00}), 502), EReadError);
    // Lines: up to the largest 32-bit number, not past it, and no 64-bit overflow on the way.
    auto lineStep = [&](int64_t delta) {
        std::vector<uint8_t> row = {0x10};
        for (;;) {
            const uint8_t b = uint8_t(delta & 0x7F);
            delta >>= 7;
            const bool done = (delta == 0 && !(b & 0x40)) || (delta == -1 && (b & 0x40));
            row.push_back(done ? b : uint8_t(b | 0x80));
            if (done)
                break;
        }
        row.push_back(0x00);
        return withLastRow(row);
    };
    EXPECT_NO_THROW(TDebugData(lineStep(int64_t(INT32_MAX) - 10), 502));
    EXPECT_THROW(TDebugData(lineStep(int64_t(INT32_MAX) - 9), 502), EReadError);
    EXPECT_NO_THROW(TDebugData(lineStep(int64_t(INT32_MIN) - 10), 502));
    EXPECT_THROW(TDebugData(lineStep(int64_t(INT32_MIN) - 11), 502), EReadError);
    EXPECT_THROW(TDebugData(lineStep(INT64_MAX), 502), EReadError);
    EXPECT_THROW(TDebugData(lineStep(INT64_MIN), 502), EReadError);
}

TEST(DebugData, UnitsOutOfOrderAreRefused) {
    TDebugTable table = SampleTable();
    std::swap(table.Units[0], table.Units[1]);
    EXPECT_THROW(TDebugData(WriteDebugData(table), 502), EReadError);
}

TEST(DebugData, ProtectedNamesNeedThePassword) {
    const std::vector<uint8_t> bytes = WriteDebugData(SampleTable(), "s3cret");
    const TDebugData data(bytes, 502);
    EXPECT_TRUE(data.ProtectedNames());
    const auto right = [] { return std::string("s3cret"); };
    std::optional<TDebugLocation> at = data.Find(0x1044, right);
    ASSERT_TRUE(at);
    EXPECT_EQ(at->Routine, "Helper");
    EXPECT_EQ(at->Unit, "one.cpp");
    at = data.Find(0x1000, right);
    ASSERT_TRUE(at);
    EXPECT_EQ(at->Routine, "ns::TOne.Run");
    // Without the password each stored piece shows as "?" and its Base64.
    at = data.Find(0x1044, NoPassword);
    ASSERT_TRUE(at);
    ASSERT_EQ(at->Routine.size(), 1 + Base64EncodedLength(6));
    EXPECT_EQ(at->Routine[0], '?');
    EXPECT_NE(at->Routine, "?" + Base64Encode(std::string("Helper")));
    at = data.Find(0x1000, NoPassword);
    ASSERT_TRUE(at);
    EXPECT_EQ(at->Routine.find('.'), 1 + Base64EncodedLength(8)); // "?" + "ns::TOne", ".", "?" + "Run"
    // A wrong password gives other names, never a fault.
    at = data.Find(0x1044, [] { return std::string("wrong"); });
    ASSERT_TRUE(at);
    EXPECT_NE(at->Routine, "Helper");
}

TEST(DebugData, NamesReadByDataVersion) {
    std::vector<uint8_t> stored;
    WriteDebugName(stored, "TClass", "Method", false);
    WriteDebugString(stored, std::string(200, 'x'), false); // cut to one piece's limit
    // A dot inside a plain routine's name is no separator.
    WriteDebugName(stored, "", "_GLOBAL__sub_I_OProcessing.cpp", false);
    WriteDebugName(stored, "TClass", "Run", false);
    TDebugReader in(stored.data(), stored.size());
    EXPECT_EQ(ReadDebugString(in, 502, false, nullptr), "TClass.Method");
    EXPECT_EQ(ReadDebugString(in, 502, false, nullptr), std::string(DebugNamePieceLimit, 'x'));
    TDebugName name = ReadDebugName(in, 502, false, nullptr);
    EXPECT_EQ(name.Class, "");
    EXPECT_EQ(name.Name, "_GLOBAL__sub_I_OProcessing.cpp");
    name = ReadDebugName(in, 502, false, nullptr);
    EXPECT_EQ(name.Class, "TClass");
    EXPECT_EQ(name.Name, "Run");
    EXPECT_EQ(in.Remaining(), 0u);
    // Before 502 a stored name splits at its first dot.
    std::vector<uint8_t> dotted;
    WriteDebugString(dotted, "TOld.Method", false);
    TDebugReader dottedIn(dotted.data(), dotted.size());
    name = ReadDebugName(dottedIn, 501, false, nullptr);
    EXPECT_EQ(name.Class, "TOld");
    EXPECT_EQ(name.Name, "Method");
    // Before 502 a long length is a length; before 500 every byte is combined with a fixed value.
    const std::vector<uint8_t> old = {3, 'a' ^ OldDebugNameScramble, 'b' ^ OldDebugNameScramble,
                                      'c' ^ OldDebugNameScramble};
    TDebugReader oldIn(old.data(), old.size());
    EXPECT_EQ(ReadDebugString(oldIn, 450, false, nullptr), "abc");
    std::vector<uint8_t> long501(1, 130);
    long501.resize(131, 'y');
    TDebugReader in501(long501.data(), long501.size());
    EXPECT_EQ(ReadDebugString(in501, 501, false, nullptr), std::string(130, 'y'));
    // A name that runs past the end, or joins without end.
    const std::vector<uint8_t> shortName = {5, 'a', 'b'};
    TDebugReader shortIn(shortName.data(), shortName.size());
    EXPECT_THROW(ReadDebugString(shortIn, 502, false, nullptr), EReadError);
    const std::vector<uint8_t> endless(40, 0x80);
    TDebugReader endlessIn(endless.data(), endless.size());
    EXPECT_THROW(ReadDebugString(endlessIn, 502, false, nullptr), EReadError);
}

TEST(DebugData, BeforeVersion502ADottedNameContinuesTheClassBeforeIt) {
    TDebugTable table;
    table.Routines = {{"", ".Orphan", 1, 0x000}, {"", "TOld.First", 1, 0x100}, {"", ".Second", 1, 0x200},
                      {"", ".Third", 1, 0x300},  {"", "Plain", 1, 0x400},      {"", ".Fourth", 1, 0x500}};
    std::vector<TDebugSpan> spans;
    for (uint32_t i = 0; i < table.Routines.size(); ++i)
        spans.push_back({i * 0x100, i * 0x100 + 0x10, "old.pas", int32_t(i + 1), i});
    table.Units = BuildDebugUnits(spans);
    const std::vector<uint8_t> bytes = WriteDebugData(table);
    // Class and procedure of each routine, looked up one by one and decoded as a whole.
    const auto names = [&](int version) {
        const TDebugData data(bytes, version);
        std::vector<std::string> found;
        for (uint32_t i = 0; i < table.Routines.size(); ++i) {
            const std::optional<TDebugLocation> at = data.Find(i * 0x100 + 4, NoPassword);
            found.push_back(at ? at->Class + "|" + at->Procedure : "none");
        }
        const TDebugTable decoded = data.Decode(NoPassword);
        EXPECT_EQ(decoded.Routines.size(), table.Routines.size());
        for (size_t i = 0; i < decoded.Routines.size() && i < found.size(); ++i)
            EXPECT_EQ(decoded.Routines[i].Class + "|" + decoded.Routines[i].Name, found[i]) << i;
        return found;
    };
    EXPECT_EQ(names(501), (std::vector<std::string>{"|Orphan", "TOld|First", "TOld|Second", "TOld|Third",
                                                    "|Plain", "|Fourth"}));
    // A continuing name looks back a bounded number of routines for its class.
    TDebugTable run;
    run.Routines.push_back({"", "TBig.First", 1, 0});
    for (uint32_t i = 1; i <= ContinuedClassReach + 1; ++i)
        run.Routines.push_back({"", ".M" + std::to_string(i), 1, i * 0x10});
    std::vector<TDebugSpan> runSpans;
    for (uint32_t i = 0; i < run.Routines.size(); ++i)
        runSpans.push_back({i * 0x10, i * 0x10 + 0x10, "big.pas", 1, i});
    run.Units = BuildDebugUnits(runSpans);
    const TDebugData runData(WriteDebugData(run), 501);
    const TDebugTable runDecoded = runData.Decode(NoPassword);
    ASSERT_EQ(runDecoded.Routines.size(), ContinuedClassReach + 2);
    const std::optional<TDebugLocation> reached = runData.Find(ContinuedClassReach * 0x10, NoPassword);
    const std::optional<TDebugLocation> beyond = runData.Find((ContinuedClassReach + 1) * 0x10, NoPassword);
    ASSERT_TRUE(reached && beyond);
    EXPECT_EQ(reached->Class, "TBig");
    EXPECT_EQ(runDecoded.Routines[ContinuedClassReach].Class, "TBig");
    EXPECT_EQ(beyond->Class, "");
    EXPECT_EQ(runDecoded.Routines[ContinuedClassReach + 1].Class, "");
    // From 502 names are stored whole: a leading dot is part of the name.
    EXPECT_EQ(names(502), (std::vector<std::string>{"|.Orphan", "|TOld.First", "|.Second", "|.Third",
                                                    "|Plain", "|.Fourth"}));
}

TEST(DebugDataContainer, CarriesTimeAndDebugInformationBesideTheOptions) {
    TOstrelModuleOptions options("", false);
    options.SetMailRecipient("someone@example.org");
    const std::vector<uint8_t> debug = WriteDebugData(SampleTable());
    const std::vector<uint8_t> container = BuildOLData(options, 502, 1700000000, debug);
    for (const bool withTrailer : {true, false}) {
        const std::vector<uint8_t> bytes(container.begin(),
                                         container.end() - (withTrailer ? 0 : long(OLDataTrailerSize)));
        const TOLData data = ParseOLData(bytes);
        EXPECT_EQ(data.Version, 502);
        EXPECT_EQ(data.CompilationTime, 1700000000);
        EXPECT_EQ(data.DebugInfo, debug);
        TOstrelModuleOptions loaded("", false);
        LoadOptionsFromOLData(data, loaded);
        EXPECT_EQ(loaded.MailRecipient(), "someone@example.org");
    }
    // A container of options alone still reads, without time or debug information.
    const TOLData plain = ParseOLData(BuildOLData(options, 502));
    EXPECT_EQ(plain.CompilationTime, 0);
    EXPECT_TRUE(plain.DebugInfo.empty());
    // A debug block that claims more than the container holds.
    std::vector<uint8_t> lying = container;
    const size_t sizeField =
        container.size() - OLDataTrailerSize - ZCompressBuffer(debug.data(), debug.size()).size() - 4;
    lying[sizeField + 3] = 0x7F;
    EXPECT_THROW(ParseOLData(lying), EReadError);
}

} // namespace
