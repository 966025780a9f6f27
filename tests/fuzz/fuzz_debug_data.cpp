// The packed debug-data reader. The first byte picks the data version (below 500, 500, 502) and the
// password answer (none, or "fuzz"), the next four an offset to look up; the rest is the block. A
// malformed block must raise EReadError when it is loaded; a block that loads must decode whole and
// answer every lookup, and a position found must lie in its unit and name a routine as the table does.
#include "FuzzSupport.h"
#include "ODebugData.h"
#include "OErrors.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::TInput input(data, size);
    const std::uint8_t choice = input.Byte();
    static constexpr int kVersions[] = {499, 500, 502};
    const int version = kVersions[choice % 3];
    const std::function<std::string()> password = [withPassword = bool(choice & 4)] {
        return withPassword ? std::string("fuzz") : std::string();
    };
    const std::uint32_t probe = std::uint32_t(input.Word()) << 16 | input.Word();
    const auto rest = input.Rest();

    std::optional<reporter::TDebugData> debug;
    try {
        debug.emplace(std::vector<std::uint8_t>(rest.begin(), rest.end()), version);
    } catch (const reporter::EReadError&) {
        return 0;
    }
    const reporter::TDebugTable table = debug->Decode(password);
    fuzz::Check(table.Units.size() == debug->UnitCount(), "a decoded table with another unit count");
    fuzz::Check(table.Routines.size() == debug->RoutineCount(), "a decoded table with another routine count");
    std::vector<std::uint32_t> offsets{probe};
    for (const reporter::TDebugUnit& unit : table.Units) {
        fuzz::Check(unit.Low < unit.High && !unit.Rows.empty(), "a decoded unit that is empty");
        offsets.insert(offsets.end(), {unit.Low, unit.High - 1, unit.High});
        for (const reporter::TDebugRow& row : unit.Rows)
            fuzz::Check(row.Offset >= unit.Low && row.Offset < unit.High, "a row outside its unit");
    }
    // A lookup agrees with the decoded table: a position found lies in the unit that covers the offset.
    for (const std::uint32_t offset : offsets) {
        const reporter::TDebugUnit* covering = nullptr;
        for (const reporter::TDebugUnit& unit : table.Units)
            if (offset >= unit.Low && offset < unit.High)
                covering = &unit;
        const auto location = debug->Find(offset, password);
        // A unit's rows may say that no routine lies at an offset: no position then either.
        if (location) {
            fuzz::Check(covering != nullptr, "a position found outside every unit");
            fuzz::Check(location->Unit == covering->Name, "a lookup names another unit");
            // The routine it names is one of the decoded table's, named as the table names it.
            const bool named = std::any_of(
                table.Routines.begin(), table.Routines.end(), [&](const reporter::TDebugRoutine& routine) {
                    return routine.Start == location->RoutineStart &&
                           routine.FirstLine == location->FirstLine && routine.Class == location->Class &&
                           routine.Name == location->Procedure && routine.FullName() == location->Routine;
                });
            fuzz::Check(named, "a lookup names a routine other than the decoded table does");
        }
    }
    return 0;
}
