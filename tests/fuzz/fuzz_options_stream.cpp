// The reporter's options stream. The first byte picks the stream version (300 to 555, the versions the
// reader converts from), the rest is the stream. A short or lying stream must raise EReadError and leave
// the options as they were; options that were read must save into a stream that loads back to the
// same bytes.
#include "FuzzSupport.h"
#include "OErrors.h"
#include "OOptions.h"
#include "OStream.h"

#include <vector>

namespace {

std::vector<std::uint8_t> Saved(const reporter::TOstrelModuleOptions& options) {
    reporter::TOstrelStream stream;
    options.SaveToStream(stream);
    return stream.Bytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::TInput input(data, size);
    const int version = 300 + input.Byte();
    const auto rest = input.Rest();

    reporter::TOstrelModuleOptions options("fuzz", false);
    const std::vector<std::uint8_t> defaults = Saved(options);
    reporter::TOstrelStream stream(rest.data(), rest.size());
    reporter::OptionsDataVersion = version;
    try {
        options.LoadFromStream(stream);
    } catch (const reporter::EReadError&) {
        reporter::OptionsDataVersion = reporter::CurrentOptionsDataVersion;
        fuzz::Check(Saved(options) == defaults, "a failed load changed the options");
        return 0;
    }
    reporter::OptionsDataVersion = reporter::CurrentOptionsDataVersion;
    const std::vector<std::uint8_t> once = Saved(options);
    reporter::TOstrelModuleOptions again("fuzz", false);
    reporter::TOstrelStream back(once);
    try {
        again.LoadFromStream(back);
    } catch (const reporter::EReadError&) {
        fuzz::Fail("saved options do not load back");
    }
    fuzz::Check(back.Remaining() == 0, "loading saved options left bytes unread");
    fuzz::Check(Saved(again) == once, "options loaded back save differently");
    return 0;
}
