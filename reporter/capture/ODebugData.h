#pragma once
// The debug information that the build packs into a module's "OLDATA" container: for each code offset
// (counted from the module's base, the page of its lowest loadable segment) the unit (source file), the
// routine ("Class.Method" or a plain name) and the line.
//
// Layout, little-endian:
//   u32 magic DebugDataMagic, u8 flags (bit 0: names protected by a password), u8 0, u16 0
//   u32 routine count, then per routine: name (class and procedure), u32 first line, u32 start offset
//   u32 unit count, then per unit (ascending, not overlapping): name, u32 low, u32 high (exclusive),
//     u32 row count, then per row: uleb offset delta (from the previous row, the first from low),
//     sleb line delta (from the previous row's line, the first from 0), uleb routine code
//     (0: the previous row's routine, 1: no code here, k >= 2: routine k - 2).
//   A row covers the offsets up to the next row of its unit, the last one up to the unit's high.
// Names are stored the way ReadDebugString reads them; a routine of a class is stored as two joined
// pieces, the class and the procedure, so that a "." inside a procedure's own name (a static
// initialiser's "_GLOBAL__sub_I_Unit.cpp") is never taken for the separator.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace reporter {

// A bounded cursor over stored bytes: every read past the end raises EReadError.
class TDebugReader {
public:
    TDebugReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    size_t Position() const { return m_position; }
    void SetPosition(size_t position);
    size_t Remaining() const { return m_size - m_position; }
    const uint8_t* Take(size_t count);
    uint8_t ReadU8() { return *Take(1); }
    uint16_t ReadU16();
    uint32_t ReadU32();
    uint64_t ReadULEB();
    int64_t ReadSLEB();

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

inline constexpr uint32_t DebugDataMagic = 0x49444C4F; // "OLDI"
inline constexpr uint8_t DebugDataProtectedNames = 0x01;
// Byte that names of data versions below 500 are combined with.
inline constexpr uint8_t OldDebugNameScramble = 0x5C;
// Longest name piece that a length byte can carry from data version 502 on.
inline constexpr size_t DebugNamePieceLimit = 127;

// ---- building (the packer, tests) ----

struct TDebugRoutine {
    std::string Class; // empty for a plain routine
    std::string Name;  // the procedure
    uint32_t FirstLine = 0;
    uint32_t Start = 0;
    // "Class.Method" or the plain name.
    std::string FullName() const { return Class.empty() ? Name : Class + "." + Name; }
};

// One stretch of code with one source position, before it is grouped into units.
struct TDebugSpan {
    uint32_t Start = 0;
    uint32_t End = 0; // exclusive
    std::string Unit;
    int32_t Line = 0;
    uint32_t Routine = 0; // index into the routine table
};

struct TDebugRow {
    uint32_t Offset = 0;
    int32_t Line = 0;
    int64_t Routine = 0; // -1: no code from here on
};

struct TDebugUnit {
    std::string Name;
    uint32_t Low = 0;
    uint32_t High = 0;
    std::vector<TDebugRow> Rows;
};

struct TDebugTable {
    std::vector<TDebugRoutine> Routines;
    std::vector<TDebugUnit> Units;
};

// Sorts the spans, drops what overlaps an earlier span, merges neighbours with the same position and
// groups runs of one unit into unit records.
std::vector<TDebugUnit> BuildDebugUnits(std::vector<TDebugSpan> spans);
// With a password, the names are enciphered (block cipher, key from the password's MD5).
std::vector<uint8_t> WriteDebugData(const TDebugTable& table, const std::string& password = std::string());
// One name in the stored form of data version 502: a single piece.
void WriteDebugString(std::vector<uint8_t>& out, const std::string& name, bool encipher);
// A routine's name: the class and the procedure as two joined pieces, a plain routine as one.
void WriteDebugName(std::vector<uint8_t>& out, const std::string& className, const std::string& name,
                    bool encipher);

// ---- reading ----

// Reads one stored name of the given data version. The password of protected names is asked for only
// when one is met; without one (empty) the name reads "?" + the Base64 of its stored bytes, at most 255
// characters. A name running past the stream's end raises EReadError.
std::string ReadDebugString(TDebugReader& reader, int dataVersion, bool protectedNames,
                            const std::function<std::string()>& password);

struct TDebugName {
    std::string Class;
    std::string Name;
    // Before data version 502 a name ".Method" names a routine of the class of the routine before it.
    bool ContinuesClass = false;
};
// How many routines back a continuing name looks for its class: more methods in a row than any class has
// would only be a damaged table, whose lookups must stay quick.
inline constexpr size_t ContinuedClassReach = 4096;
// Reads one stored routine name as class and procedure: from data version 502 the first of joined
// pieces is the class (a single piece is a plain routine, dots and all); before, the name splits at
// its first ".", and one that starts with it continues the previous routine's class.
TDebugName ReadDebugName(TDebugReader& reader, int dataVersion, bool protectedNames,
                         const std::function<std::string()>& password);

struct TDebugLocation {
    std::string Unit;
    std::string Class;     // empty for a plain routine
    std::string Procedure; // empty for code whose routine has no name
    std::string Routine;   // "Class.Method" or the plain name
    int32_t Line = 0;
    uint32_t FirstLine = 0;
    uint32_t RoutineStart = 0;
    bool RoutineFound = false;
};

// A module's packed debug information, checked as a whole when it is loaded: a block that is truncated,
// lies about a count or a length, or whose units are out of order is refused.
class TDebugData {
public:
    // Raises EReadError for a malformed block.
    TDebugData(std::vector<uint8_t> bytes, int dataVersion);

    bool ProtectedNames() const { return m_flags & DebugDataProtectedNames; }
    size_t UnitCount() const { return m_units.size(); }
    size_t RoutineCount() const { return m_routines.size(); }
    size_t Size() const { return m_bytes.size(); }
    // The position of the code offset; none when no unit covers it.
    std::optional<TDebugLocation> Find(uint32_t offset, const std::function<std::string()>& password) const;
    // The whole table again (names decoded), for the packer's checks and for tests.
    TDebugTable Decode(const std::function<std::string()>& password) const;

private:
    struct TUnitIndex {
        size_t Name;
        uint32_t Low;
        uint32_t High;
        uint32_t RowCount;
        size_t Rows;
    };
    struct TRoutineIndex {
        size_t Name;
        uint32_t FirstLine;
        uint32_t Start;
    };
    std::string NameAt(size_t position, const std::function<std::string()>& password) const;
    TDebugName RoutineNameAt(size_t position, const std::function<std::string()>& password) const;
    // The routine's name with a continued class taken from the routines before it.
    TDebugName RoutineName(size_t index, const std::function<std::string()>& password) const;
    std::vector<TDebugRow> DecodeRows(const TUnitIndex& unit) const;

    std::vector<uint8_t> m_bytes;
    int m_dataVersion;
    uint8_t m_flags = 0;
    std::vector<TRoutineIndex> m_routines;
    std::vector<TUnitIndex> m_units;
};

} // namespace reporter
