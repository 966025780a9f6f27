// The packer on a real library: what it appends reads back through the reporter, and the lines it
// packed agree with addr2line's reading of the same DWARF data.
#include "RepsnapTools.h"

#include "ODebugData.h"
#include "OLData.h"
#include "OModules.h"
#include "OOptions.h"
#include "ORoutineName.h"
#include "tests/support/LineOracle.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

using namespace reporter;

namespace {

const std::string PackerTool = REPSNAP_DEBUGPACK;

TDebugData LoadPacked(const std::string& file, int64_t* time = nullptr) {
    const auto container = FindOLData(file);
    if (!container)
        throw std::runtime_error("no container in " + file);
    const TOLData data = ParseOLData(*container);
    if (time)
        *time = data.CompilationTime;
    return TDebugData(data.DebugInfo, data.Version);
}

class Packer : public ::testing::Test {
protected:
    void SetUp() override {
        m_file = m_folder.File("probe.so");
        repsnap::CopyFile(REPSNAP_PROBE_LIBRARY, m_file);
    }
    repsnap::TTempFolder m_folder;
    std::string m_file;
};

TEST_F(Packer, AppendsOnceAndTheRoutinesAndLinesAgreeWithAddr2line) {
    const uint64_t plainSize = repsnap::ReadFileBytes(m_file).size();
    ASSERT_EQ(repsnap::Run(PackerTool + " --time 1234567890 " + m_file).ExitCode, 0);
    const uint64_t packedSize = repsnap::ReadFileBytes(m_file).size();
    EXPECT_GT(packedSize, plainSize);
    // A second run replaces the container instead of adding one.
    const repsnap::TCommandResult again = repsnap::Run(PackerTool + " --time 1234567890 " + m_file);
    ASSERT_EQ(again.ExitCode, 0) << again.Output;
    EXPECT_EQ(repsnap::ReadFileBytes(m_file).size(), packedSize);

    int64_t time = 0;
    const TDebugData data = LoadPacked(m_file, &time);
    EXPECT_EQ(time, 1234567890);
    const TDebugTable table = data.Decode(nullptr);
    std::set<std::string> names;
    for (const TDebugRoutine& r : table.Routines)
        names.insert(r.FullName());
    for (const char* expected : {"vdsnap::TProbe.Measure", "vdsnap::Twice", "VdRepsnapAlpha",
                                 "VdRepsnapHidden", "VdRepsnapCallHidden"})
        EXPECT_EQ(names.count(expected), 1u) << expected;

    // Every row start, asked of addr2line (the library's lowest segment starts at 0).
    std::vector<std::pair<uint32_t, int32_t>> rows;
    std::ostringstream command;
    command << "addr2line -e " << m_file;
    for (const TDebugUnit& unit : table.Units)
        for (const TDebugRow& row : unit.Rows)
            if (row.Routine >= 0 && unit.Name == "probe.cpp") {
                rows.emplace_back(row.Offset, row.Line);
                command << " 0x" << std::hex << row.Offset;
            }
    ASSERT_GT(rows.size(), 10u);
    const repsnap::TCommandResult oracle = repsnap::Run(command.str());
    ASSERT_EQ(oracle.ExitCode, 0) << oracle.Output;
    std::istringstream lines(oracle.Output);
    std::string line;
    for (const auto& [offset, number] : rows) {
        ASSERT_TRUE(std::getline(lines, line));
        const std::string suffix = "probe.cpp:" + std::to_string(number);
        EXPECT_NE(line.find(suffix), std::string::npos)
            << std::hex << offset << ": " << line << " vs " << suffix;
    }

    // The first line of a routine is the line it is declared on.
    for (const TDebugRoutine& r : table.Routines)
        if (r.FullName() == "vdsnap::TProbe.Measure") {
            const std::optional<TDebugLocation> at = data.Find(r.Start, nullptr);
            ASSERT_TRUE(at);
            EXPECT_EQ(at->Class, "vdsnap::TProbe");
            EXPECT_EQ(at->Procedure, "Measure");
            EXPECT_EQ(at->Unit, "probe.cpp");
            EXPECT_GE(uint32_t(at->Line), r.FirstLine);
            EXPECT_LE(uint32_t(at->Line), r.FirstLine + 1);
        }
}

TEST_F(Packer, ProtectsTheNamesWithAPassword) {
    ASSERT_EQ(repsnap::Run(PackerTool + " --password 'open sesame' " + m_file).ExitCode, 0);
    const TDebugData data = LoadPacked(m_file);
    EXPECT_TRUE(data.ProtectedNames());
    std::set<std::string> withPassword, without;
    for (const TDebugRoutine& r : data.Decode([] { return std::string("open sesame"); }).Routines)
        withPassword.insert(r.FullName());
    for (const TDebugRoutine& r : data.Decode(nullptr).Routines)
        without.insert(r.Name);
    EXPECT_EQ(withPassword.count("vdsnap::Twice"), 1u);
    EXPECT_EQ(without.count("vdsnap::Twice"), 0u);
    for (const std::string& name : without)
        EXPECT_EQ(name[0], '?') << name;
}

TEST_F(Packer, RefusesWhatIsNoELFFileAndLeavesItAlone) {
    const std::string text = m_folder.File("notes.txt");
    const std::vector<uint8_t> content(300, 'n');
    repsnap::WriteFileBytes(text, content);
    const repsnap::TCommandResult result = repsnap::Run(PackerTool + " " + text);
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_NE(result.Output.find("no ELF file"), std::string::npos) << result.Output;
    EXPECT_EQ(repsnap::ReadFileBytes(text), content);
    EXPECT_NE(repsnap::Run(PackerTool + " --time soon " + m_file).ExitCode, 0);
    EXPECT_NE(repsnap::Run(PackerTool).ExitCode, 0);
}

} // namespace

namespace {

// Optimised code: a line inside an inlined call is packed as the line of the call in the routine that
// holds it, which is the outermost frame that addr2line -i prints; every row of the test program agrees.
TEST(PackedProgram, LinesOfInlinedCodeAreTheirCallSitesInTheRoutine) {
    const TDebugData data = LoadPacked(ProgramFileName());
    const TDebugTable table = data.Decode(nullptr);
    std::vector<std::pair<uint32_t, std::string>> rows;
    std::vector<uint64_t> addresses;
    for (const TDebugUnit& unit : table.Units)
        for (const TDebugRow& row : unit.Rows)
            if (row.Routine >= 0 && !unit.Name.empty() && row.Line > 0) {
                rows.emplace_back(row.Offset, unit.Name + ":" + std::to_string(row.Line));
                addresses.push_back(row.Offset);
            }
    ASSERT_GT(rows.size(), 50u);
    std::optional<std::vector<std::string>> outermost =
        testtools::Addr2lineOutermostFrames(ProgramFileName(), addresses);
    ASSERT_TRUE(outermost) << "addr2line failed or did not answer for every row";
    ASSERT_EQ(outermost->size(), rows.size());
    for (std::string& frame : *outermost)
        frame = frame.substr(frame.rfind('/') + 1);
    size_t agree = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string& got = (*outermost)[i];
        const std::string location = got.substr(0, got.find(' ')); // drops " (discriminator n)"
        const std::string& packed = rows[i].second;
        const size_t colon = packed.rfind(':');
        // This addr2line names the compile unit's own file for some rows of code from headers (the line
        // is right); there only the line is compared.
        const bool header = packed.compare(colon - 2, 2, ".h") == 0;
        if (location == packed || (header && location.substr(location.rfind(':')) == packed.substr(colon)))
            ++agree;
        else
            ADD_FAILURE() << std::hex << rows[i].first << ": packed " << packed << ", addr2line " << got;
    }
    EXPECT_EQ(agree, rows.size());
}

} // namespace

namespace vdtest {

struct TLambdaHolder {
    static int Run(int x);
};

[[gnu::noinline]] int TLambdaHolder::Run(int x) {
    volatile int base = x;
    const auto twice = [&base](int y) __attribute__((noinline)) {
        return base * 2 + y;
    };
    return twice(3);
}

} // namespace vdtest

namespace {

// The code addresses of symbols whose demangled name holds the text, from nm.
std::vector<std::pair<uint64_t, std::string>> SymbolsWith(const std::string& file, const std::string& text) {
    const repsnap::TCommandResult listing = repsnap::Run("nm -C --defined-only '" + file + "'");
    std::vector<std::pair<uint64_t, std::string>> found;
    std::istringstream lines(listing.Output);
    std::string line;
    while (std::getline(lines, line))
        if (line.size() > 19 && line.find(text, 19) != std::string::npos &&
            std::string("Tt").find(line[17]) != std::string::npos)
            found.emplace_back(std::stoull(line.substr(0, 16), nullptr, 16), line.substr(19));
    return found;
}

// Addresses of the test program, spread over its code: wherever addr2line has a line, the packed data
// gives the same unit and line (the outermost frame of inlined code).
TEST(PackedProgram, UnitsAndLinesAgreeWithAddr2lineOverTheCode) {
    const std::string program = ProgramFileName();
    const TDebugData data = LoadPacked(program);
    const std::vector<uint64_t> addresses = testtools::SampleCodeAddresses(program, 400);
    ASSERT_EQ(addresses.size(), 400u);
    const testtools::TLineAgreement result = testtools::CompareWithAddr2line(
        program, addresses, [&](uint64_t address) -> std::optional<testtools::TSourcePosition> {
            const std::optional<TDebugLocation> at = data.Find(uint32_t(address), nullptr);
            if (!at)
                return std::nullopt;
            return testtools::TSourcePosition{at->Unit, at->Line};
        });
    EXPECT_GT(result.WithLine, 200u); // the rest is library code without DWARF data
    for (const testtools::TLineDisagreement& d : result.Disagreements)
        ADD_FAILURE() << std::hex << d.Address << ": packed " << d.Packed << ", addr2line " << d.Oracle;
}

TEST(PackedProgram, ColdClonesLambdasAndStaticInitialisersAreNamed) {
    const std::string program = ProgramFileName();
    const TDebugData data = LoadPacked(program);
    EXPECT_EQ(vdtest::TLambdaHolder::Run(4), 11);

    const auto lambdas = SymbolsWith(program, "vdtest::TLambdaHolder::Run(int)::{lambda(int)#1}::operator()");
    ASSERT_EQ(lambdas.size(), 1u);
    std::optional<TDebugLocation> at = data.Find(uint32_t(lambdas[0].first), nullptr);
    ASSERT_TRUE(at);
    EXPECT_EQ(at->Class, "vdtest::TLambdaHolder");
    EXPECT_EQ(at->Procedure, "Run::<lambda>");
    EXPECT_EQ(at->Unit, "PackerTest.cpp");
    EXPECT_GT(at->Line, 0);

    const auto initialisers = SymbolsWith(program, "_GLOBAL__sub_I_PackerTest.cpp");
    ASSERT_EQ(initialisers.size(), 1u);
    at = data.Find(uint32_t(initialisers[0].first), nullptr);
    ASSERT_TRUE(at);
    EXPECT_EQ(at->Class, "");
    EXPECT_EQ(at->Procedure, "_GLOBAL__sub_I_PackerTest.cpp");

    // The cold part of a routine carries the routine's name and, where the line table has them, lines.
    const auto cold = SymbolsWith(program, "[clone .cold]");
    ASSERT_GT(cold.size(), 3u);
    for (const auto& [address, name] : cold) {
        at = data.Find(uint32_t(address), nullptr);
        ASSERT_TRUE(at) << name;
        EXPECT_FALSE(at->Procedure.empty()) << name;
        EXPECT_NE(at->Procedure.find(SplitRoutineName(name).Procedure.substr(0, 3)), std::string::npos)
            << name << " named " << at->Routine;
    }
}

} // namespace
