// The gzip reader. Corrupt or truncated data must raise EZLibError (never a shortened result), and what
// the reader accepts zlib's own gzip decoder must accept with the same bytes.
#include "FuzzSupport.h"
#include "OErrors.h"
#include "OGZipReader.h"

#include <optional>
#include <vector>
#include <zlib.h>

namespace {

// What each side may give before it stops: enough for any input the fuzzer makes.
constexpr std::size_t kLimit = std::size_t(1) << 20;

// zlib's decoding of the first gzip member; none when zlib refuses the data or it decodes to more than
// the limit.
std::optional<std::vector<std::uint8_t>> ZlibGunzip(const std::uint8_t* data, std::size_t size) {
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        fuzz::Fail("inflateInit2 failed");
    std::vector<std::uint8_t> out(kLimit + 1);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(size);
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int result = inflate(&z, Z_FINISH);
    const std::size_t produced = out.size() - z.avail_out;
    inflateEnd(&z);
    if (result != Z_STREAM_END || produced > kLimit)
        return std::nullopt;
    out.resize(produced);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> ours;
    try {
        ours = reporter::ReadGZipData(data, size, kLimit);
    } catch (const reporter::EZLibError&) {
        return 0;
    } catch (const reporter::EReadError&) {
        return 0;
    }
    const auto theirs = ZlibGunzip(data, size);
    fuzz::Check(theirs.has_value(), "the reader accepted data that zlib refuses");
    fuzz::Check(*theirs == ours, "the reader gave other bytes than zlib");
    return 0;
}
