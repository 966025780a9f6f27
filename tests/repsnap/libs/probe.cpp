// Routines of the probe library: exported plain and qualified names, one hidden routine, and the version
// note that stands for a version resource.
#include <cstdint>

namespace vdsnap {

struct TProbe {
    static int Measure(int x);
};

int TProbe::Measure(int x) {
    int sum = 0;
    for (int i = 0; i < x; ++i)
        sum += i * 3;
    return sum;
}

int Twice(int x) {
    return 2 * x;
}

} // namespace vdsnap

extern "C" int VdRepsnapAlpha(int x) {
    return vdsnap::Twice(x) + 1;
}

extern "C" __attribute__((visibility("hidden"))) int VdRepsnapHidden(int x) {
    return x - 1;
}

extern "C" int VdRepsnapCallHidden(int x) {
    return VdRepsnapHidden(x) + vdsnap::TProbe::Measure(x);
}

namespace {

// The layout that the build writes into the program (app/VersionNote.c.in).
#define PROBE_NOTE_TEXTS "FileDescription\0Repsnap probe library\0CompanyName\0Nobody\0"

struct TVersionNoteImage {
    uint32_t NameSize;
    uint32_t DescriptorSize;
    uint32_t Type;
    char Name[12];
    uint32_t Words[6];
    char Texts[(sizeof PROBE_NOTE_TEXTS + 3) & ~3u];
};

[[gnu::section(".note.vexadaxo.version"), gnu::used, gnu::aligned(4)]] const TVersionNoteImage VersionNote = {
    9,
    uint32_t(24 + ((sizeof PROBE_NOTE_TEXTS + 3) & ~3u)),
    1,
    "VexaDaxo",
    {0xFEEF04BD, 0x00010000, (2u << 16) | 0, (5u << 16) | 17, (2u << 16) | 0, (5u << 16) | 17},
    PROBE_NOTE_TEXTS};

} // namespace
