// The reporter's reader of the kernel's memory map lines. The line lies in a buffer of its own length
// (no terminator), so that a read past it is caught. A line that is taken must give a range that is not
// empty and fields that lie inside the line; printed back in the kernel's form it must read the same.
#include "FuzzSupport.h"
#include "OModuleMap.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

bool Inside(std::string_view part, std::string_view line) {
    return part.empty() ||
           (part.data() >= line.data() && part.data() + part.size() <= line.data() + line.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto copy = std::make_unique<char[]>(size == 0 ? 1 : size);
    if (size > 0)
        std::memcpy(copy.get(), data, size);
    const std::string_view line(copy.get(), size);
    reporter::TMapsLine parsed;
    if (!reporter::ParseMapsLine(line, parsed))
        return 0;
    fuzz::Check(parsed.Start < parsed.End, "an empty or reversed range was taken");
    fuzz::Check(!parsed.Device.empty() && parsed.Device.find(' ') == std::string_view::npos,
                "a device field that is empty or holds a blank");
    fuzz::Check(Inside(parsed.Device, line) && Inside(parsed.Path, line), "a field outside the line");
    fuzz::Check(parsed.Path.empty() || parsed.Path.front() != ' ', "a path that starts with a blank");

    char head[160];
    std::snprintf(head, sizeof head, "%" PRIxPTR "-%" PRIxPTR " %cxxp %" PRIx64 " ", parsed.Start, parsed.End,
                  parsed.Readable ? 'r' : '-', parsed.Offset);
    const std::string again = std::string(head) + std::string(parsed.Device) + " " +
                              std::to_string(parsed.Inode) + " " + std::string(parsed.Path);
    reporter::TMapsLine back;
    fuzz::Check(reporter::ParseMapsLine(again, back), "a line printed back is refused");
    fuzz::Check(back.Start == parsed.Start && back.End == parsed.End && back.Readable == parsed.Readable &&
                    back.Offset == parsed.Offset && back.Device == parsed.Device &&
                    back.Inode == parsed.Inode && back.Path == parsed.Path,
                "a line printed back reads differently");
    return 0;
}
