// The packer on a real library: what it appends reads back through the reporter, and the lines it
// packed agree with addr2line's reading of the same DWARF data.
#include "RepsnapTools.h"

#include "ODebugData.h"
#include "OLData.h"
#include "OModules.h"
#include "OOptions.h"

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
        names.insert(r.Name);
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
        if (r.Name == "vdsnap::TProbe.Measure") {
            const std::optional<TDebugLocation> at = data.Find(r.Start, nullptr);
            ASSERT_TRUE(at);
            EXPECT_EQ(at->Routine, r.Name);
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
        withPassword.insert(r.Name);
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
    std::ostringstream command;
    command << "addr2line -a -i -e " << ProgramFileName();
    for (const TDebugUnit& unit : table.Units)
        for (const TDebugRow& row : unit.Rows)
            if (row.Routine >= 0 && !unit.Name.empty() && row.Line > 0) {
                rows.emplace_back(row.Offset, unit.Name + ":" + std::to_string(row.Line));
                command << " 0x" << std::hex << row.Offset;
            }
    ASSERT_GT(rows.size(), 50u);
    const repsnap::TCommandResult oracle = repsnap::Run(command.str());
    ASSERT_EQ(oracle.ExitCode, 0) << oracle.Output;
    // Per address: its line "0x...", then the frames from the innermost to the outermost.
    std::vector<std::string> outermost;
    std::istringstream lines(oracle.Output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("0x", 0) == 0)
            outermost.emplace_back();
        else if (!outermost.empty())
            outermost.back() = line.substr(line.rfind('/') + 1);
    }
    ASSERT_EQ(outermost.size(), rows.size());
    size_t agree = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string& got = outermost[i];
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
