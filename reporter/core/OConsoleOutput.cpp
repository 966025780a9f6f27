#include "OConsoleOutput.h"

#include "ODescriptorWrite.h"
#include "OReportProgress.h"

#include <unistd.h>

namespace reporter {

bool FlushStreamIfFree(FILE* stream) {
    if (stream == nullptr || ::ftrylockfile(stream) != 0)
        return false;
    const bool flushed = std::fflush(stream) == 0;
    ::funlockfile(stream);
    return flushed;
}

bool WriteToConsole(FILE* stream, std::string_view text) {
    if (stream == nullptr)
        return false;
    FlushStreamIfFree(stream);
    const int descriptor = ::fileno(stream);
    if (descriptor < 0)
        return false;
    // A pipe's reader may take its time (a pager its user's): each piece written is progress.
    const TOutsideWait outside;
    return WriteWhole(descriptor, text, NoteReportProgress);
}

} // namespace reporter
