#include "ODebugData.h"

#include "OBase64.h"
#include "OErrors.h"
#include "OTEA.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace reporter {

namespace {

// Deeper joins than this are no name the packer writes: the data is corrupt.
constexpr int MaxNamePieces = 8;
constexpr size_t ShownNameLimit = 255;

std::mutex gKeyLock;
std::string gKeyPassword;
bool gKeySet = false;

// The cipher key is process-wide; it is rebuilt only when another password is used.
void UseKey(const std::string& password) {
    if (gKeySet && gKeyPassword == password)
        return;
    SetTEAKey(password);
    gKeyPassword = password;
    gKeySet = true;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void PutULEB(std::vector<uint8_t>& out, uint64_t v) {
    do {
        uint8_t b = v & 0x7F;
        v >>= 7;
        if (v != 0)
            b |= 0x80;
        out.push_back(b);
    } while (v != 0);
}

void PutSLEB(std::vector<uint8_t>& out, int64_t v) {
    for (;;) {
        const uint8_t b = v & 0x7F;
        v >>= 7;
        const bool done = (v == 0 && !(b & 0x40)) || (v == -1 && (b & 0x40));
        out.push_back(done ? b : uint8_t(b | 0x80));
        if (done)
            return;
    }
}

void PutPiece(std::vector<uint8_t>& out, std::string piece, bool joined, bool encipher) {
    if (piece.size() > DebugNamePieceLimit)
        piece.resize(DebugNamePieceLimit);
    out.push_back(uint8_t(piece.size() | (joined ? 0x80 : 0)));
    if (encipher && !piece.empty())
        TEAEncryptBuffer(reinterpret_cast<const uint8_t*>(piece.data()),
                         reinterpret_cast<uint8_t*>(piece.data()), piece.size());
    out.insert(out.end(), piece.begin(), piece.end());
}

} // namespace

// ---- TDebugReader ----

void TDebugReader::SetPosition(size_t position) {
    if (position > m_size)
        throw EReadError("Debug data position beyond its end");
    m_position = position;
}

const uint8_t* TDebugReader::Take(size_t count) {
    if (count > Remaining())
        throw EReadError("Debug data ends early");
    const uint8_t* p = m_data + m_position;
    m_position += count;
    return p;
}

uint16_t TDebugReader::ReadU16() {
    const uint8_t* p = Take(2);
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t TDebugReader::ReadU32() {
    const uint8_t* p = Take(4);
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint64_t TDebugReader::ReadULEB() {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        const uint8_t b = ReadU8();
        // The tenth byte holds the 64th bit only.
        if (shift == 63 && (b & 0x7E) != 0)
            throw EReadError("Debug data holds a number beyond 64 bits");
        value |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80))
            return value;
    }
    throw EReadError("Debug data holds an overlong number");
}

int64_t TDebugReader::ReadSLEB() {
    // Built in unsigned arithmetic: hostile data must not reach a signed overflow.
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        const uint8_t b = ReadU8();
        if (shift == 63 && (b & 0x7F) != 0 && (b & 0x7F) != 0x7F)
            throw EReadError("Debug data holds a number beyond 64 bits");
        value |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80)) {
            if (shift + 7 < 64 && (b & 0x40))
                value |= ~uint64_t(0) << (shift + 7);
            return int64_t(value); // two's complement, as C++20 defines the conversion
        }
    }
    throw EReadError("Debug data holds an overlong number");
}

// ---- names ----

void WriteDebugString(std::vector<uint8_t>& out, const std::string& name, bool encipher) {
    PutPiece(out, name, false, encipher);
}

void WriteDebugName(std::vector<uint8_t>& out, const std::string& className, const std::string& name,
                    bool encipher) {
    if (!className.empty())
        PutPiece(out, className, true, encipher);
    PutPiece(out, name, false, encipher);
}

namespace {

std::vector<std::string> ReadDebugPieces(TDebugReader& reader, int dataVersion, bool protectedNames,
                                         const std::function<std::string()>& password) {
    std::vector<std::string> pieces;
    for (int piece = 0;; ++piece) {
        if (piece == MaxNamePieces)
            throw EReadError("Debug data holds a name of too many parts");
        const uint8_t length = reader.ReadU8();
        const bool joined = dataVersion >= 502 && length >= 128;
        const size_t size = joined ? length % 128 : length;
        const uint8_t* bytes = reader.Take(size);
        std::string text(reinterpret_cast<const char*>(bytes), size);
        if (dataVersion < 500) {
            for (char& c : text)
                c = char(uint8_t(c) ^ OldDebugNameScramble);
        } else if (protectedNames && size > 0) {
            const std::string pass = password ? password() : std::string();
            if (pass.empty()) {
                text = "?" + Base64Encode(bytes, size);
                if (text.size() > ShownNameLimit)
                    text.resize(ShownNameLimit);
            } else {
                std::lock_guard guard(gKeyLock);
                UseKey(pass);
                TEADecryptBuffer(bytes, reinterpret_cast<uint8_t*>(text.data()), size);
            }
        }
        pieces.push_back(std::move(text));
        if (!joined)
            return pieces;
    }
}

std::string Joined(const std::vector<std::string>& pieces, size_t from) {
    std::string result;
    for (size_t i = from; i < pieces.size(); ++i)
        result += (i > from ? "." : "") + pieces[i];
    return result;
}

} // namespace

std::string ReadDebugString(TDebugReader& reader, int dataVersion, bool protectedNames,
                            const std::function<std::string()>& password) {
    return Joined(ReadDebugPieces(reader, dataVersion, protectedNames, password), 0);
}

TDebugName ReadDebugName(TDebugReader& reader, int dataVersion, bool protectedNames,
                         const std::function<std::string()>& password) {
    const std::vector<std::string> pieces = ReadDebugPieces(reader, dataVersion, protectedNames, password);
    TDebugName name;
    if (pieces.size() > 1) {
        name.Class = pieces[0];
        name.Name = Joined(pieces, 1);
        return name;
    }
    const size_t dot = dataVersion < 502 ? pieces[0].find('.') : std::string::npos;
    if (dot == std::string::npos) {
        name.Name = pieces[0];
    } else {
        name.Class = pieces[0].substr(0, dot);
        name.Name = pieces[0].substr(dot + 1);
        name.ContinuesClass = dot == 0;
    }
    return name;
}

// ---- building ----

std::vector<TDebugUnit> BuildDebugUnits(std::vector<TDebugSpan> spans) {
    std::erase_if(spans, [](const TDebugSpan& s) { return s.End <= s.Start; });
    std::stable_sort(spans.begin(), spans.end(),
                     [](const TDebugSpan& a, const TDebugSpan& b) { return a.Start < b.Start; });
    // The first span of an address wins; a later one that overlaps it keeps only what lies beyond.
    std::vector<TDebugSpan> flat;
    for (TDebugSpan& s : spans) {
        if (!flat.empty() && s.Start < flat.back().End) {
            if (s.End <= flat.back().End)
                continue;
            s.Start = flat.back().End;
        }
        if (!flat.empty() && flat.back().End == s.Start && flat.back().Unit == s.Unit &&
            flat.back().Line == s.Line && flat.back().Routine == s.Routine) {
            flat.back().End = s.End;
            continue;
        }
        flat.push_back(std::move(s));
    }
    std::vector<TDebugUnit> units;
    for (const TDebugSpan& s : flat) {
        if (units.empty() || units.back().Name != s.Unit) {
            TDebugUnit unit;
            unit.Name = s.Unit;
            unit.Low = s.Start;
            units.push_back(std::move(unit));
        } else if (units.back().High < s.Start) {
            units.back().Rows.push_back({units.back().High, units.back().Rows.back().Line, -1});
        }
        units.back().Rows.push_back({s.Start, s.Line, int64_t(s.Routine)});
        units.back().High = s.End;
    }
    return units;
}

std::vector<uint8_t> WriteDebugData(const TDebugTable& table, const std::string& password) {
    const bool encipher = !password.empty();
    std::unique_lock guard(gKeyLock);
    if (encipher)
        UseKey(password);
    std::vector<uint8_t> out;
    PutU32(out, DebugDataMagic);
    out.push_back(encipher ? DebugDataProtectedNames : 0);
    out.push_back(0);
    out.push_back(0);
    out.push_back(0);
    PutU32(out, uint32_t(table.Routines.size()));
    for (const TDebugRoutine& r : table.Routines) {
        WriteDebugName(out, r.Class, r.Name, encipher);
        PutU32(out, r.FirstLine);
        PutU32(out, r.Start);
    }
    PutU32(out, uint32_t(table.Units.size()));
    for (const TDebugUnit& u : table.Units) {
        WriteDebugString(out, u.Name, encipher);
        PutU32(out, u.Low);
        PutU32(out, u.High);
        PutU32(out, uint32_t(u.Rows.size()));
        uint32_t offset = u.Low;
        int64_t line = 0;
        int64_t routine = -2;
        for (const TDebugRow& row : u.Rows) {
            PutULEB(out, row.Offset - offset);
            PutSLEB(out, int64_t(row.Line) - line);
            PutULEB(out, row.Routine == routine ? 0 : row.Routine < 0 ? 1 : uint64_t(row.Routine) + 2);
            offset = row.Offset;
            line = row.Line;
            routine = row.Routine;
        }
    }
    return out;
}

// ---- reading ----

TDebugData::TDebugData(std::vector<uint8_t> bytes, int dataVersion)
    : m_bytes(std::move(bytes)), m_dataVersion(dataVersion) {
    TDebugReader in(m_bytes.data(), m_bytes.size());
    if (in.ReadU32() != DebugDataMagic)
        throw EReadError("The debug data has a wrong magic number");
    m_flags = in.ReadU8();
    in.Take(3);
    // Names are skipped here without the password: only their framing is checked.
    const auto skipName = [&] { ReadDebugString(in, m_dataVersion, false, nullptr); };
    const uint32_t routineCount = in.ReadU32();
    if (routineCount > in.Remaining() / 9)
        throw EReadError("The debug data announces more routines than it holds");
    m_routines.reserve(routineCount);
    for (uint32_t i = 0; i < routineCount; ++i) {
        TRoutineIndex r;
        r.Name = in.Position();
        skipName();
        r.FirstLine = in.ReadU32();
        r.Start = in.ReadU32();
        m_routines.push_back(r);
    }
    const uint32_t unitCount = in.ReadU32();
    if (unitCount > in.Remaining() / 13)
        throw EReadError("The debug data announces more units than it holds");
    m_units.reserve(unitCount);
    uint32_t previousHigh = 0;
    for (uint32_t i = 0; i < unitCount; ++i) {
        TUnitIndex u;
        u.Name = in.Position();
        skipName();
        u.Low = in.ReadU32();
        u.High = in.ReadU32();
        u.RowCount = in.ReadU32();
        u.Rows = in.Position();
        if (u.High <= u.Low || u.Low < previousHigh || u.RowCount == 0 || u.RowCount > in.Remaining() / 3)
            throw EReadError("The debug data holds a damaged unit");
        previousHigh = u.High;
        uint64_t offset = u.Low;
        int64_t line = 0;
        bool haveRoutine = false;
        for (uint32_t k = 0; k < u.RowCount; ++k) {
            // Every step checked before it is taken: the offsets rise within the unit, the lines stay
            // 32-bit numbers (the lookups repeat this sum in those types).
            const uint64_t step = in.ReadULEB();
            const int64_t delta = in.ReadSLEB();
            const uint64_t code = in.ReadULEB();
            if (step >= u.High - offset || (k == 0 && step != 0) || delta < INT32_MIN - line ||
                delta > INT32_MAX - line || (code >= 2 && code - 2 >= routineCount) ||
                (code == 0 && !haveRoutine && k == 0))
                throw EReadError("The debug data holds a damaged line table");
            offset += step;
            line += delta;
            haveRoutine = true;
        }
        m_units.push_back(u);
    }
}

std::string TDebugData::NameAt(size_t position, const std::function<std::string()>& password) const {
    TDebugReader in(m_bytes.data(), m_bytes.size());
    in.SetPosition(position);
    return ReadDebugString(in, m_dataVersion, ProtectedNames(), password);
}

TDebugName TDebugData::RoutineNameAt(size_t position, const std::function<std::string()>& password) const {
    TDebugReader in(m_bytes.data(), m_bytes.size());
    in.SetPosition(position);
    return ReadDebugName(in, m_dataVersion, ProtectedNames(), password);
}

TDebugName TDebugData::RoutineName(size_t index, const std::function<std::string()>& password) const {
    TDebugName name = RoutineNameAt(m_routines[index].Name, password);
    // A run of continuing names goes back to the first routine that names its class.
    const size_t first = index > ContinuedClassReach ? index - ContinuedClassReach : 0;
    for (size_t before = index; name.ContinuesClass && before > first;) {
        const TDebugName previous = RoutineNameAt(m_routines[--before].Name, password);
        if (!previous.ContinuesClass) {
            name.Class = previous.Class;
            name.ContinuesClass = false;
        }
    }
    return name;
}

std::vector<TDebugRow> TDebugData::DecodeRows(const TUnitIndex& unit) const {
    TDebugReader in(m_bytes.data(), m_bytes.size());
    in.SetPosition(unit.Rows);
    std::vector<TDebugRow> rows;
    rows.reserve(unit.RowCount);
    uint32_t offset = unit.Low;
    int64_t line = 0;
    int64_t routine = -1;
    for (uint32_t k = 0; k < unit.RowCount; ++k) {
        offset += uint32_t(in.ReadULEB());
        line += in.ReadSLEB();
        const uint64_t code = in.ReadULEB();
        if (code != 0)
            routine = code == 1 ? -1 : int64_t(code - 2);
        rows.push_back({offset, int32_t(line), routine});
    }
    return rows;
}

std::optional<TDebugLocation> TDebugData::Find(uint32_t offset,
                                               const std::function<std::string()>& password) const {
    const auto it = std::upper_bound(m_units.begin(), m_units.end(), offset,
                                     [](uint32_t o, const TUnitIndex& u) { return o < u.Low; });
    if (it == m_units.begin())
        return std::nullopt;
    const TUnitIndex& unit = *(it - 1);
    if (offset >= unit.High)
        return std::nullopt;
    TDebugReader in(m_bytes.data(), m_bytes.size());
    in.SetPosition(unit.Rows);
    uint32_t rowOffset = unit.Low;
    int64_t line = 0;
    int64_t routine = -1;
    int64_t coveringLine = 0;
    int64_t coveringRoutine = -1;
    for (uint32_t k = 0; k < unit.RowCount; ++k) {
        rowOffset += uint32_t(in.ReadULEB());
        line += in.ReadSLEB();
        const uint64_t code = in.ReadULEB();
        if (code != 0)
            routine = code == 1 ? -1 : int64_t(code - 2);
        if (rowOffset > offset)
            break;
        coveringLine = line;
        coveringRoutine = routine;
    }
    if (coveringRoutine < 0)
        return std::nullopt;
    TDebugLocation location;
    location.Unit = NameAt(unit.Name, password);
    const TRoutineIndex& r = m_routines[size_t(coveringRoutine)];
    TDebugName name = RoutineName(size_t(coveringRoutine), password);
    location.Class = std::move(name.Class);
    location.Procedure = std::move(name.Name);
    location.Routine =
        location.Class.empty() ? location.Procedure : location.Class + "." + location.Procedure;
    location.Line = int32_t(coveringLine);
    location.FirstLine = r.FirstLine;
    location.RoutineStart = r.Start;
    location.RoutineFound = true;
    return location;
}

TDebugTable TDebugData::Decode(const std::function<std::string()>& password) const {
    TDebugTable table;
    std::string lastClass;
    std::optional<size_t> lastNaming;
    for (size_t i = 0; i < m_routines.size(); ++i) {
        const TRoutineIndex& r = m_routines[i];
        TDebugName name = RoutineNameAt(r.Name, password);
        if (!name.ContinuesClass) {
            lastClass = name.Class;
            lastNaming = i;
        } else if (lastNaming && i - *lastNaming <= ContinuedClassReach) {
            name.Class = lastClass;
        }
        table.Routines.push_back({std::move(name.Class), std::move(name.Name), r.FirstLine, r.Start});
    }
    for (const TUnitIndex& u : m_units)
        table.Units.push_back({NameAt(u.Name, password), u.Low, u.High, DecodeRows(u)});
    return table;
}

} // namespace reporter
