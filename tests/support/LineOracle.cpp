#include "tests/support/LineOracle.h"

#include "tests/support/TestTools.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace testtools {

namespace {

struct TSegment {
    uint64_t Low;
    uint64_t High;
};

// The function symbols with a size (nm), by address; overlapping ones (aliases) merged.
std::vector<TSegment> FunctionRanges(const std::string& file) {
    const TCommandResult listing = Run("nm -S --defined-only '" + file + "'");
    std::vector<TSegment> ranges;
    std::istringstream lines(listing.Output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, size, type;
        if (!(fields >> address >> size >> type) || type.size() != 1 ||
            std::string("TtWw").find(type) == std::string::npos)
            continue;
        try {
            const uint64_t low = std::stoull(address, nullptr, 16);
            const uint64_t length = std::stoull(size, nullptr, 16);
            if (length > 0)
                ranges.push_back({low, low + length});
        } catch (const std::exception&) {
        }
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const TSegment& a, const TSegment& b) { return a.Low < b.Low; });
    std::vector<TSegment> merged;
    for (const TSegment& r : ranges) {
        if (!merged.empty() && r.Low < merged.back().High)
            merged.back().High = std::max(merged.back().High, r.High);
        else
            merged.push_back(r);
    }
    return merged;
}

// "file:line" of addr2line without folder and discriminator; line 0 when it has none.
TSourcePosition ParseFrame(const std::string& text) {
    std::string location = text.substr(0, text.find(' '));
    const size_t slash = location.rfind('/');
    if (slash != std::string::npos)
        location.erase(0, slash + 1);
    TSourcePosition position;
    const size_t colon = location.rfind(':');
    if (colon == std::string::npos)
        return position;
    position.Unit = location.substr(0, colon);
    try {
        position.Line = std::stoi(location.substr(colon + 1));
    } catch (const std::exception&) {
        position.Line = 0;
    }
    return position;
}

bool IsSourceFile(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && (name.compare(dot, std::string::npos, ".cpp") == 0 ||
                                        name.compare(dot, std::string::npos, ".c") == 0);
}

} // namespace

std::vector<uint64_t> SampleCodeAddresses(const std::string& file, size_t count) {
    const std::vector<TSegment> segments = FunctionRanges(file);
    uint64_t total = 0;
    for (const TSegment& s : segments)
        total += s.High - s.Low;
    std::vector<uint64_t> addresses;
    if (total == 0 || count == 0)
        return addresses;
    // Evenly over the code of all routines taken as one stretch.
    const uint64_t stride = std::max<uint64_t>(total / count, 1);
    uint64_t next = stride / 2;
    uint64_t passed = 0;
    for (const TSegment& s : segments) {
        for (; next < passed + (s.High - s.Low) && addresses.size() < count; next += stride)
            addresses.push_back(s.Low + (next - passed));
        passed += s.High - s.Low;
    }
    return addresses;
}

namespace {

// The outermost frame of each address; none when addr2line failed or did not answer for every one.
// Asked in batches: the shell takes one command line of at most 128 KiB, which a large program's rows
// exceed.
std::optional<std::vector<std::string>> AskAddr2line(const std::string& file,
                                                     const std::vector<uint64_t>& addresses) {
    constexpr size_t Batch = 4096;
    std::vector<std::string> outermost;
    for (size_t from = 0; from < addresses.size(); from += Batch) {
        const size_t to = std::min(addresses.size(), from + Batch);
        std::ostringstream command;
        command << "addr2line -a -i -e '" << file << "'";
        for (size_t i = from; i < to; ++i)
            command << " 0x" << std::hex << addresses[i];
        const TCommandResult oracle = Run(command.str());
        // Per address: its own line "0x...", then its frames from the innermost to the outermost.
        const size_t before = outermost.size();
        std::istringstream lines(oracle.Output);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("0x", 0) == 0)
                outermost.emplace_back();
            else if (outermost.size() > before)
                outermost.back() = line;
        }
        if (oracle.ExitCode != 0 || outermost.size() != to)
            return std::nullopt;
    }
    return outermost;
}

// addr2line answers "??" for some addresses in a batch that it places when asked for them alone (after an
// address of certain other units); those few are asked again one by one.
constexpr size_t MostAskedAgain = 256;

} // namespace

std::optional<std::vector<std::string>> Addr2lineOutermostFrames(const std::string& file,
                                                                 const std::vector<uint64_t>& addresses) {
    std::optional<std::vector<std::string>> frames = AskAddr2line(file, addresses);
    if (!frames)
        return frames;
    size_t askedAgain = 0;
    for (size_t i = 0; i < frames->size() && askedAgain < MostAskedAgain; ++i) {
        if ((*frames)[i].rfind("??", 0) != 0)
            continue;
        ++askedAgain;
        if (const std::optional<std::vector<std::string>> alone = AskAddr2line(file, {addresses[i]}))
            (*frames)[i] = alone->front();
    }
    return frames;
}

TLineAgreement CompareWithAddr2line(const std::string& file, const std::vector<uint64_t>& addresses,
                                    const std::function<std::optional<TSourcePosition>(uint64_t)>& lookup) {
    TLineAgreement result;
    result.Asked = addresses.size();
    if (addresses.empty())
        return result;
    const std::optional<std::vector<std::string>> frames = Addr2lineOutermostFrames(file, addresses);
    if (!frames)
        return result;
    const std::vector<std::string>& outermost = *frames;
    for (size_t i = 0; i < addresses.size(); ++i) {
        const TSourcePosition expected = ParseFrame(outermost[i]);
        if (expected.Line <= 0 || expected.Unit.empty() || expected.Unit == "??")
            continue;
        ++result.WithLine;
        const std::optional<TSourcePosition> got = lookup(addresses[i]);
        if (got && got->Unit == expected.Unit && got->Line == expected.Line) {
            ++result.Agree;
            continue;
        }
        if (got && got->Line == expected.Line && IsSourceFile(expected.Unit) && !IsSourceFile(got->Unit)) {
            ++result.Agree;
            ++result.OwnFileNamed;
            continue;
        }
        result.Disagreements.push_back(
            {addresses[i], got ? got->Unit + ":" + std::to_string(got->Line) : std::string(), outermost[i]});
    }
    return result;
}

} // namespace testtools
