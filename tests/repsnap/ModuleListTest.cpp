#include "RepsnapTools.h"

#include "OCodeInspection.h"
#include "ODebugInfo.h"
#include "OLData.h"
#include "OModuleInfo.h"
#include "OVersionNote.h"
#include "OZLib.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int VdRepsnapAlpha(int x);
extern "C" int VdRepsnapCallHidden(int x);
namespace vdsnap {
struct TProbe {
    static int Measure(int x);
};
int Twice(int x);
} // namespace vdsnap

using namespace reporter;

namespace {

uintptr_t AddressOf(auto* routine) {
    return reinterpret_cast<uintptr_t>(routine);
}

uint64_t FileSize(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? uint64_t(info.st_size) : 0;
}

class ModuleList : public ::testing::Test {
protected:
    void SetUp() override {
        // Keeps the probe library linked in.
        ASSERT_EQ(VdRepsnapCallHidden(3), 2 + 9);
        m_list.GetProcessModules();
    }
    TOstrelModulesList m_list;
};

TEST_F(ModuleList, ALightScanListsEveryModuleSortedWithoutExamining) {
    ASSERT_GE(m_list.Count(), 4); // program, probe library, libstdc++, libc at least
    EXPECT_FALSE(LightScan());
    int programs = 0;
    for (int i = 0; i < m_list.Count(); ++i) {
        const TOstrelModuleInfo& m = *m_list.Items(i);
        if (i > 0) {
            EXPECT_LT(m_list.Items(i - 1)->Handle, m.Handle);
        }
        EXPECT_EQ(m.ModuleKind, mkNotExamined) << m.FileName;
        EXPECT_EQ(m.Functions.Count(), 0) << m.FileName;
        EXPECT_FALSE(m.DebugStream) << m.FileName;
        if (m.FileName == ProgramFileName())
            ++programs;
    }
    EXPECT_EQ(programs, 1);
    // A second refresh keeps the records it already has.
    const TOstrelModuleInfoPtr first = m_list.Items(0);
    m_list.GetProcessModules();
    EXPECT_EQ(m_list.Items(0), first);
}

TEST_F(ModuleList, EveryLoadedModuleGetsAFullRecord) {
    std::vector<TModuleHandle> handles;
    bool vdso = false;
    for (int i = 0; i < m_list.Count(); ++i)
        handles.push_back(m_list.Items(i)->Handle);
    for (TModuleHandle handle : handles) {
        const TOstrelModuleInfoPtr m = m_list.FindModuleInfo(handle);
        ASSERT_TRUE(m);
        EXPECT_NE(m->ModuleKind, mkNotExamined) << m->FileName;
        for (int k = 0; k < m->Functions.Count(); ++k)
            ASSERT_EQ(FindModuleOfAddress(m->Functions.Items(k).Address), handle)
                << m->Functions.Items(k).Name;
        // The kernel's vDSO has no file but exports its clock routines from an unrelocated table.
        if (m->FileName.find("vdso") != std::string::npos) {
            vdso = true;
            EXPECT_EQ(m->Size, 0u);
            EXPECT_NE(m->Functions.FindByName("__vdso_clock_gettime"), nullptr);
        }
    }
    EXPECT_EQ(m_list.Count(), int(handles.size()));
    EXPECT_EQ(vdso, getauxval(AT_SYSINFO_EHDR) != 0);
}

TEST_F(ModuleList, TheProgramRecordCarriesItsPackedDebugDataAndNoExports) {
    const TOstrelModuleInfoPtr program = m_list.FindModuleInfoByAddr(AddressOf(&FileSize));
    ASSERT_TRUE(program);
    EXPECT_EQ(program->FileName, ProgramFileName());
    EXPECT_EQ(program->ModuleKind, mkProgram);
    EXPECT_FALSE(IsDLLModule(program->Handle));
    EXPECT_EQ(program->Functions.Count(), 0);
    EXPECT_EQ(program->Size, FileSize(ProgramFileName()));
    EXPECT_GT(program->Modified, 0);
    EXPECT_TRUE(program->DebugDataValid);
    ASSERT_TRUE(program->DebugStream);
    EXPECT_GT(program->DebugStream->UnitCount(), 10u);
    EXPECT_EQ(program->DebugDataVersion, CurrentOptionsDataVersion);
    EXPECT_GT(program->CompilationTime, 0);
    ASSERT_TRUE(program->Options);
    EXPECT_EQ(program->Options->ModuleName(), ProgramFileName());
    // The full record replaced the one of the light scan.
    EXPECT_EQ(m_list.FindModuleInfo(program->Handle), program);
    EXPECT_EQ(m_list.FindModuleInfo(0), nullptr);
    EXPECT_EQ(m_list.FindModuleInfo(0x1000), nullptr);
}

TEST_F(ModuleList, LibcHasAPlausibleRangeAndItsExports) {
    // The C library's own printf (a sanitizer's runtime puts its own in front of it).
    void* libcHandle = ::dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(libcHandle, nullptr);
    const auto printfAddress = reinterpret_cast<uintptr_t>(::dlsym(libcHandle, "printf"));
    ::dlclose(libcHandle);
    const TOstrelModuleInfoPtr libc = m_list.FindModuleInfoByAddr(printfAddress);
    ASSERT_TRUE(libc);
    EXPECT_NE(libc->FileName.find("libc.so"), std::string::npos) << libc->FileName;
    EXPECT_LE(libc->Handle, printfAddress);
    EXPECT_LT(printfAddress - libc->Handle, uintptr_t(64) << 20);
    EXPECT_EQ(libc->ModuleKind, mkLibrary);
    EXPECT_TRUE(IsDLLModule(libc->Handle));
    EXPECT_GT(libc->Size, 100000u);
    EXPECT_FALSE(libc->DebugStream);
    EXPECT_EQ(libc->DebugDataVersion, CurrentOptionsDataVersion);
    EXPECT_EQ(libc->CompilationTime, 0);
    ASSERT_GT(libc->Functions.Count(), 500);
    const TOstrelFunctionInfo* printfInfo = libc->Functions.FindByName("printf");
    ASSERT_NE(printfInfo, nullptr);
    EXPECT_EQ(printfInfo->Address, printfAddress);
    EXPECT_GT(printfInfo->Size, 0u);
    // Every exported routine lies inside the module's range, in address order.
    for (int i = 1; i < libc->Functions.Count(); ++i)
        ASSERT_LE(libc->Functions.Items(i - 1).Address, libc->Functions.Items(i).Address);
    EXPECT_EQ(FindModuleOfAddress(libc->Functions.Items(0).Address), libc->Handle);
    EXPECT_EQ(FindModuleOfAddress(libc->Functions.Items(libc->Functions.Count() - 1).Address), libc->Handle);

    TOstrelDebugInfo info;
    GetDebugInfo(printfAddress + 1, 7, true, info, &m_list);
    EXPECT_EQ(info.Kind, dkExportName);
    EXPECT_TRUE(info.ProcedureName == "printf" || info.ProcedureName == "_IO_printf") << info.ProcedureName;
    EXPECT_EQ(info.Module, libc);
    EXPECT_EQ(info.ThreadID, 7u);
    EXPECT_EQ(info.Line, 0);
}

TEST_F(ModuleList, ALibraryListsItsExportsButNotItsHiddenRoutines) {
    const TOstrelModuleInfoPtr probe = m_list.FindModuleInfoByAddr(AddressOf(&VdRepsnapAlpha));
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->FileName, REPSNAP_PROBE_LIBRARY);
    EXPECT_EQ(probe->ModuleKind, mkLibrary);
    EXPECT_EQ(probe->Description, "Repsnap probe library");
    EXPECT_EQ(probe->Version, "2.0.5.17");
    EXPECT_EQ(GetModuleFolder(*probe), probe->FileName.substr(0, probe->FileName.rfind('/')));
    std::vector<std::string> names;
    for (int i = 0; i < probe->Functions.Count(); ++i)
        names.push_back(probe->Functions.Items(i).Name);
    for (const char* expected :
         {"VdRepsnapAlpha", "VdRepsnapCallHidden", "_ZN6vdsnap6TProbe7MeasureEi", "_ZN6vdsnap5TwiceEi"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    EXPECT_EQ(std::find(names.begin(), names.end(), "VdRepsnapHidden"), names.end());
    const TOstrelFunctionInfo* alpha = probe->Functions.FindByName("VdRepsnapAlpha");
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->Address, AddressOf(&VdRepsnapAlpha));
    EXPECT_EQ(probe->Functions.FindByAddress(alpha->Address + alpha->Size - 1), alpha);
}

// An address past the end of the nearest export below it (its size from the symbol table) is named by
// its module and its offset only: a routine the library does not export, and in the C library the
// widest gap between two exports as `nm -D -S` lists them. Inside an export: its name.
TEST_F(ModuleList, CodePastTheNearestExportsEndIsItsModuleAndOffsetOnly) {
    const TOstrelModuleInfoPtr probe = m_list.FindModuleInfoByAddr(AddressOf(&VdRepsnapAlpha));
    ASSERT_TRUE(probe);
    const repsnap::TCommandResult listing = repsnap::Run(std::string("nm ") + REPSNAP_PROBE_LIBRARY);
    const size_t at = listing.Output.find(" t VdRepsnapHidden");
    ASSERT_NE(at, std::string::npos) << listing.Output;
    const uintptr_t hidden = probe->Handle + std::stoull(listing.Output.substr(at - 16, 16), nullptr, 16);

    void* libcHandle = ::dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(libcHandle, nullptr);
    const TOstrelModuleInfoPtr libc =
        m_list.FindModuleInfoByAddr(reinterpret_cast<uintptr_t>(::dlsym(libcHandle, "printf")));
    ::dlclose(libcHandle);
    ASSERT_TRUE(libc);
    // Every dynamic symbol with its size; the function whose end lies farthest below the next symbol.
    const repsnap::TCommandResult symbols = repsnap::Run("nm -D -S --defined-only " + libc->FileName);
    ASSERT_EQ(symbols.ExitCode, 0);
    struct TSymbol {
        uintptr_t Address, Size;
        char Type;
    };
    std::vector<TSymbol> table;
    std::istringstream lines(symbols.Output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string address, size, type;
        if (fields >> address >> size >> type && size.size() == 16 && type.size() == 1)
            table.push_back({std::stoull(address, nullptr, 16), std::stoull(size, nullptr, 16), type[0]});
    }
    ASSERT_GT(table.size(), 500u);
    std::sort(table.begin(), table.end(),
              [](const TSymbol& x, const TSymbol& y) { return x.Address < y.Address; });
    const TSymbol* widest = nullptr;
    uintptr_t widestGap = 0;
    for (size_t i = 0; i + 1 < table.size(); ++i) {
        const TSymbol& s = table[i];
        uintptr_t reach = s.Address + s.Size; // aliases at one address: the longest reach
        for (size_t j = i; j < table.size() && table[j].Address == s.Address; ++j)
            reach = std::max<uintptr_t>(reach, table[j].Address + table[j].Size);
        const auto next = std::find_if(table.begin() + ptrdiff_t(i), table.end(),
                                       [&](const TSymbol& t) { return t.Address > s.Address; });
        if ((s.Type == 'T' || s.Type == 'W') && s.Size > 0 && next != table.end() && next->Address > reach &&
            next->Address - reach > widestGap && reach == s.Address + s.Size) {
            widest = &s;
            widestGap = next->Address - reach;
        }
    }
    ASSERT_NE(widest, nullptr);
    const uintptr_t end = libc->Handle + widest->Address + widest->Size;

    const auto moduleOffset = [](const TOstrelModuleInfoPtr& module, uintptr_t address) {
        char text[32];
        std::snprintf(text, sizeof text, "+0x%llx",
                      static_cast<unsigned long long>(address - module->Handle));
        return std::string(text);
    };
    const struct {
        TOstrelModuleInfoPtr Module;
        uintptr_t Address;
        bool Named; // named after the export below it
    } cases[] = {{probe, hidden + 2, false},
                 {libc, end - 1, true},
                 {libc, end, false},
                 {libc, end + widestGap / 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Address - c.Module->Handle);
        TOstrelDebugInfo info;
        GetDebugInfo(c.Address, 1, true, info, &m_list);
        EXPECT_EQ(info.Module, c.Module);
        if (c.Named) {
            const TOstrelFunctionInfo* export_ = c.Module->Functions.FindByAddress(c.Address);
            ASSERT_NE(export_, nullptr);
            TOstrelDebugInfo plain;
            SplitFunctionName(export_->Name, plain);
            EXPECT_EQ(info.Kind, plain.Kind);
            EXPECT_EQ(info.ProcedureName, plain.ProcedureName);
        } else {
            EXPECT_EQ(info.Kind, dkModule);
            EXPECT_EQ(info.ProcedureName, moduleOffset(c.Module, c.Address));
            EXPECT_EQ(info.UnitName, "");
        }
    }
}

TEST_F(ModuleList, ExportedNamesAreTakenApartIntoUnitClassAndProcedure) {
    TOstrelDebugInfo info;
    GetDebugInfo(AddressOf(&VdRepsnapAlpha) + 2, 1, true, info, &m_list);
    EXPECT_EQ(info.Kind, dkExportName);
    EXPECT_EQ(info.ProcedureName, "VdRepsnapAlpha");
    EXPECT_EQ(info.UnitName, "");

    GetDebugInfo(AddressOf(&vdsnap::TProbe::Measure) + 4, 1, true, info, &m_list);
    EXPECT_EQ(info.Kind, dkExportUnitName);
    EXPECT_EQ(info.UnitName, "vdsnap.cpp");
    EXPECT_EQ(info.ClassName, "TProbe");
    EXPECT_EQ(info.ProcedureName, "Measure");

    GetDebugInfo(AddressOf(&vdsnap::Twice), 1, true, info, &m_list);
    EXPECT_EQ(info.Kind, dkExportUnitName);
    EXPECT_EQ(info.UnitName, "vdsnap.cpp");
    EXPECT_EQ(info.ClassName, "");
    EXPECT_EQ(info.ProcedureName, "Twice");

    // An address in no module keeps only itself.
    int onTheStack = 0;
    GetDebugInfo(AddressOf(&onTheStack), 1, false, info, &m_list);
    EXPECT_EQ(info.Kind, dkNoModule);
    EXPECT_EQ(info.Address, AddressOf(&onTheStack));
    EXPECT_FALSE(info.Module);
    EXPECT_FALSE(info.Running);
}

TEST(ExportNames, SplitAtTheirQualifiers) {
    TOstrelDebugInfo info;
    SplitFunctionName("_ZN1a1b1c1dEv", info); // four parts name nothing
    EXPECT_EQ(info.Kind, dkModule);
    EXPECT_EQ(info.UnitName + info.ClassName + info.ProcedureName, "");
    SplitFunctionName("_Z3fooi", info);
    EXPECT_EQ(info.Kind, dkExportName);
    EXPECT_EQ(info.ProcedureName, "foo");
    SplitFunctionName("_Zbroken", info); // not demangled: shown as it stands
    EXPECT_EQ(info.Kind, dkExportName);
    EXPECT_EQ(info.ProcedureName, "_Zbroken");

    EXPECT_EQ(StripSignature("int foo<int>(int)"), "foo<int>");
    EXPECT_EQ(StripSignature("ns::C::operator()(int) const"), "ns::C::operator()");
    EXPECT_EQ(StripSignature("ns::C::operator<<(std::ostream&)"), "ns::C::operator<<");
    EXPECT_EQ(StripSignature("std::vector<int, std::allocator<int> >::push_back(int const&) [clone .cold]"),
              "std::vector<int, std::allocator<int> >::push_back");
    EXPECT_EQ(StripSignature("void (anonymous namespace)::Run(void (*)(int))"), "(anonymous namespace)::Run");
}

TEST(ModuleFolder, KeepsTheRootsSeparatorOnly) {
    TOstrelModuleInfo info;
    info.FileName = "/x.so";
    EXPECT_EQ(GetModuleFolder(info), "/");
    info.FileName = "/usr/lib/x.so";
    EXPECT_EQ(GetModuleFolder(info), "/usr/lib");
}

TEST(VersionNote, AFileWithoutNoteOrWithVersionZeroShowsNoVersion) {
    repsnap::TTempFolder folder;
    std::string description = "x", version = "x";
    GetModuleVersion(folder.File("missing"), description, version);
    EXPECT_EQ(description + version, "");
    repsnap::WriteFileBytes(folder.File("text"), std::vector<uint8_t>(200, 'a'));
    GetModuleVersion(folder.File("text"), description, version);
    EXPECT_EQ(description + version, "");

    // The probe library with its file version words cleared.
    std::vector<uint8_t> bytes = repsnap::ReadFileBytes(REPSNAP_PROBE_LIBRARY);
    const uint8_t signature[4] = {0xBD, 0x04, 0xEF, 0xFE};
    const auto at = std::search(bytes.begin(), bytes.end(), signature, signature + 4);
    ASSERT_NE(at, bytes.end());
    std::fill(at + 8, at + 16, 0);
    repsnap::WriteFileBytes(folder.File("zero.so"), bytes);
    GetModuleVersion(folder.File("zero.so"), description, version);
    EXPECT_EQ(description, "Repsnap probe library");
    EXPECT_EQ(version, "");
    const std::optional<TVersionNote> note = ReadVersionNote(folder.File("zero.so"));
    ASSERT_TRUE(note);
    EXPECT_EQ(note->Text("CompanyName"), "Nobody");
}

TEST(ModuleDebugData, ADamagedContainerIsFoundButNotTrusted) {
    repsnap::TTempFolder folder;
    const std::string file = folder.File("probe.so");
    repsnap::CopyFile(REPSNAP_PROBE_LIBRARY, file);
    TOstrelModuleOptions options(file, false);
    options.SetMailSubject("from the file");
    TDebugTable table;
    table.Routines.push_back({"", "Routine", 10, 0x1000});
    table.Units.push_back({"unit.cpp", 0x1000, 0x1100, {{0x1000, 10, 0}}});
    std::vector<uint8_t> debug = WriteDebugData(table);
    AppendOLData(file, BuildOLData(options, 502, 1234, debug));

    TOstrelModuleInfo good;
    good.FileName = file;
    good.Options = std::make_unique<TOstrelModuleOptionsEx>(file, false);
    ASSERT_TRUE(ReadModuleDebugData(good));
    EXPECT_TRUE(good.DebugDataValid);
    ASSERT_TRUE(good.DebugStream);
    EXPECT_EQ(good.CompilationTime, 1234);
    EXPECT_EQ(good.Options->MailSubject(), "from the file");
    // Read again (a later report): the data kept from the first read, not inflated anew.
    TOstrelModuleInfo again;
    again.FileName = file;
    ASSERT_TRUE(ReadModuleDebugData(again));
    EXPECT_EQ(again.DebugStream.get(), good.DebugStream.get());

    // The same container whose debug information lost its last row.
    ASSERT_TRUE(RemoveOLData(file));
    debug.pop_back();
    AppendOLData(file, BuildOLData(options, 502, 1234, debug));
    TOstrelModuleInfo damaged;
    damaged.FileName = file;
    damaged.Options = std::make_unique<TOstrelModuleOptionsEx>(file, false);
    EXPECT_TRUE(ReadModuleDebugData(damaged));
    EXPECT_FALSE(damaged.DebugDataValid);
    EXPECT_FALSE(damaged.DebugStream);

    // A file without a container has no debug data at all.
    ASSERT_TRUE(RemoveOLData(file));
    EXPECT_FALSE(RemoveOLData(file));
    TOstrelModuleInfo plain;
    plain.FileName = file;
    EXPECT_FALSE(ReadModuleDebugData(plain));
    EXPECT_TRUE(plain.DebugDataValid);
}

TEST(CodeInspection, FindsFramesSavesAndReturns) {
    repsnap::TPages pages(2);
    pages.Seal(1);
    uint8_t* code = pages.Page(0);
    const uint8_t framed[] = {0x55, 0x48, 0x89, 0xE5, 0xC3, 0x90, 0x5D, 0xC3};
    std::memcpy(code, framed, sizeof framed);
    EXPECT_TRUE(IsStackFrameStart(pages.Address(0)));
    EXPECT_FALSE(IsRegisterSave(pages.Address(0)));
    EXPECT_EQ(RoutineLength(pages.Address(0), pages.Address(0, 64)), 7u);
    const uint8_t saving[] = {0xF3, 0x0F, 0x1E, 0xFA, 0x53, 0x90, 0xC2, 0x08, 0x00};
    std::memcpy(code + 100, saving, sizeof saving);
    EXPECT_TRUE(IsRegisterSave(pages.Address(0, 100)));
    EXPECT_EQ(RoutineLength(pages.Address(0, 100), pages.Address(0, 200)), 6u);
    // No return before the end, or one only in unreadable memory.
    EXPECT_EQ(RoutineLength(pages.Address(0, 300), pages.Address(0, 310)), 1u);
    EXPECT_EQ(RoutineLength(pages.Address(0, 4000), pages.Address(1, 100)), 1u);
    EXPECT_FALSE(IsStackFrameStart(pages.Address(1)));

    // A relative call to one of the three known routines.
    code[500] = 0xE8;
    const int32_t rel = int32_t(pages.Address(0, 1000) - pages.Address(0, 505));
    std::memcpy(code + 501, &rel, 4);
    SetCallTargetRoutines(0x10, pages.Address(0, 1000), 0x30);
    EXPECT_EQ(CallTargetClass(pages.Address(0, 500)), 2);
    SetCallTargetRoutines(0, 0, 0);
    EXPECT_EQ(CallTargetClass(pages.Address(0, 500)), 0);
}

} // namespace

namespace {

// A library loaded at run time with its own packed debug data, then unloaded again.
TEST(LoadedLibrary, IsNamedFromItsPackedDataAndLeavesTheListWhenUnloaded) {
    repsnap::TTempFolder folder;
    const std::string file = folder.File("libpackedprobe.so");
    repsnap::CopyFile(REPSNAP_PROBE_LIBRARY, file);
    ASSERT_EQ(repsnap::Run(std::string(REPSNAP_DEBUGPACK) + " " + file).ExitCode, 0);
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const uintptr_t measure = AddressOf(dlsym(library, "_ZN6vdsnap6TProbe7MeasureEi"));
    ASSERT_NE(measure, 0u);

    TOstrelModulesList list;
    list.GetProcessModules();
    const TOstrelModuleInfoPtr record = list.FindModuleInfoByAddr(measure);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->FileName, file);
    ASSERT_TRUE(record->DebugStream);
    TOstrelDebugInfo info;
    GetDebugInfo(measure + 8, 1, true, info, &list);
    EXPECT_EQ(info.Kind, dkDebugData);
    EXPECT_EQ(info.UnitName, "probe.cpp");
    EXPECT_EQ(info.ClassName, "vdsnap::TProbe");
    EXPECT_EQ(info.ProcedureName, "Measure");
    EXPECT_GT(info.Line, 0);
    EXPECT_GE(info.LineOffset, 0);

    const int count = list.Count();
    ASSERT_EQ(dlclose(library), 0);
    list.GetProcessModules();
    EXPECT_EQ(list.Count(), count - 1);
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_NE(list.Items(i)->FileName, file);
    // An entry made before keeps its record.
    EXPECT_EQ(info.Module->FileName, file);
}

} // namespace

namespace {

// A library opened by its own path, closed again at the end of the scope.
class TOpenedLibrary {
public:
    explicit TOpenedLibrary(const std::string& path)
        : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~TOpenedLibrary() { Close(); }
    TOpenedLibrary(const TOpenedLibrary&) = delete;
    TOpenedLibrary& operator=(const TOpenedLibrary&) = delete;
    bool Loaded() const { return m_handle != nullptr; }
    uintptr_t Address(const char* symbol) const {
        return reinterpret_cast<uintptr_t>(dlsym(m_handle, symbol));
    }
    void Close() {
        if (m_handle != nullptr)
            dlclose(m_handle);
        m_handle = nullptr;
    }

private:
    void* m_handle;
};

// Copies of the probe library, each under its own name (and file), so that the loader maps them anew.
class ReplacedModules : public ::testing::Test {
protected:
    void SetUp() override {
        m_first = m_folder.File("first.so");
        m_second = m_folder.File("second.so");
        repsnap::CopyFile(REPSNAP_PROBE_LIBRARY, m_first);
        repsnap::CopyFile(REPSNAP_PROBE_LIBRARY, m_second);
    }
    repsnap::TTempFolder m_folder;
    std::string m_first, m_second;
    TOstrelModulesList m_list;
};

TEST_F(ReplacedModules, ALibraryLoadedWhereAnotherWasUnloadedGetsItsOwnRecord) {
    TOpenedLibrary first(m_first);
    ASSERT_TRUE(first.Loaded()) << dlerror();
    const uintptr_t firstAlpha = first.Address("VdRepsnapAlpha");
    const TOstrelModuleInfoPtr old = m_list.FindModuleInfoByAddr(firstAlpha);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->FileName, m_first);
    first.Close();

    TOpenedLibrary second(m_second);
    ASSERT_TRUE(second.Loaded()) << dlerror();
    if (second.Address("VdRepsnapAlpha") != firstAlpha)
        GTEST_SKIP() << "the loader put the second library elsewhere";
    const TOstrelModuleInfoPtr now = m_list.FindModuleInfoByAddr(firstAlpha);
    ASSERT_TRUE(now);
    EXPECT_EQ(now->FileName, m_second);
    EXPECT_NE(now, old);
    EXPECT_EQ(now->Handle, old->Handle);
    int records = 0;
    for (int i = 0; i < m_list.Count(); ++i)
        records += m_list.Items(i)->Handle == now->Handle;
    EXPECT_EQ(records, 1);

    // A refresh drops the old record too, and keeps the one that still holds.
    m_list.GetProcessModules();
    bool found = false;
    for (int i = 0; i < m_list.Count(); ++i)
        if (m_list.Items(i)->Handle == now->Handle) {
            EXPECT_EQ(m_list.Items(i)->FileName, m_second);
            found = true;
        }
    EXPECT_TRUE(found);
}

TEST_F(ReplacedModules, ALibraryReplacedUnderTheSamePathGetsItsOwnRecord) {
    TOpenedLibrary first(m_first);
    ASSERT_TRUE(first.Loaded()) << dlerror();
    const uintptr_t alpha = first.Address("VdRepsnapAlpha");
    const TOstrelModuleInfoPtr old = m_list.FindModuleInfoByAddr(alpha);
    ASSERT_TRUE(old);
    first.Close();
    // An update puts a new file under the old name (a new inode, as an installer's rename does).
    ASSERT_EQ(std::rename(m_second.c_str(), m_first.c_str()), 0);

    TOpenedLibrary again(m_first);
    ASSERT_TRUE(again.Loaded()) << dlerror();
    if (again.Address("VdRepsnapAlpha") != alpha)
        GTEST_SKIP() << "the loader put the new library elsewhere";
    const TOstrelModuleInfoPtr now = m_list.FindModuleInfoByAddr(alpha);
    ASSERT_TRUE(now);
    EXPECT_NE(now, old);
    EXPECT_NE(now->FileInode, old->FileInode);
}

TEST_F(ReplacedModules, ALibraryOpenedByARelativePathHasItsFullPath) {
    char previous[PATH_MAX];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(m_folder.Path().c_str()), 0);
    TOpenedLibrary relative("./first.so");
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_TRUE(relative.Loaded()) << dlerror();
    const TModuleHandle handle = FindModuleOfAddress(relative.Address("VdRepsnapAlpha"));
    ASSERT_NE(handle, 0u);
    char full[PATH_MAX];
    ASSERT_NE(realpath(m_first.c_str(), full), nullptr);
    EXPECT_EQ(GetModuleFileName(handle), full);
    const TOstrelModuleInfoPtr record = m_list.FindModuleInfo(handle);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->FileName, full);
    EXPECT_EQ(record->Version, "2.0.5.17"); // read from the right file
}

} // namespace
