#include "OScreenshot.h"

#include "OFiles.h"
#include "OOctree.h"
#include "OOptions.h"
#include "OPngWriter.h"
#include "OStream.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace reporter {

namespace {

std::atomic<IOstrelScreen*> gScreen{nullptr};

// The capture is either the grabbed picture or, once saved, its 8-bit form.
struct TCaptureState {
    std::mutex Lock;
    std::optional<TRgbImage> Captured;
    std::optional<TPaletteImage> Reduced;
};

TCaptureState& State() {
    static TCaptureState state;
    return state;
}

} // namespace

void SetOstrelScreen(IOstrelScreen* screen) {
    gScreen.store(screen);
}

void KeepCaptureInputs() {
    if (IOstrelScreen* screen = gScreen.load())
        screen->KeepCaptureInputs();
}

bool CaptureScreen(const TOstrelModuleOptions& options) {
    FreeScreenshot();
    IOstrelScreen* screen = gScreen.load();
    if (screen == nullptr)
        return false;
    try {
        SetScreenshot(screen->Capture((options.SendFlags() & ScreenshotWindowFlag) != 0));
    } catch (const std::exception&) {
        FreeScreenshot();
    }
    return HasScreenshot();
}

void SetScreenshot(TRgbImage image) {
    if (!image.Empty())
        CheckImage(image);
    TCaptureState& state = State();
    const std::lock_guard lock(state.Lock);
    state.Reduced.reset();
    state.Captured.reset();
    if (!image.Empty())
        state.Captured = std::move(image);
}

bool HasScreenshot() {
    TCaptureState& state = State();
    const std::lock_guard lock(state.Lock);
    return state.Captured || state.Reduced;
}

void SavePNG(TOstrelStream& stream) {
    TCaptureState& state = State();
    const std::lock_guard lock(state.Lock);
    if (!state.Reduced) {
        if (!state.Captured)
            throw EImageError("no screenshot captured");
        std::optional<TPaletteImage> reduced = ReduceColors(*state.Captured);
        state.Reduced = reduced ? std::move(*reduced) : ReduceToFixedPalette(*state.Captured);
        state.Captured.reset();
    }
    WritePNG(stream, *state.Reduced);
}

bool SaveScreenshot(const std::string& fileName) {
    if (fileName.empty() || !HasScreenshot())
        return false;
    TOstrelStream stream;
    SavePNG(stream);
    // A new file only (a cut-off one is removed again): an existing name or a planted link is refused.
    WriteNewFile(fileName, stream.Bytes().data(), stream.Size());
    return true;
}

void FreeScreenshot() {
    TCaptureState& state = State();
    const std::lock_guard lock(state.Lock);
    state.Captured.reset();
    state.Reduced.reset();
}

} // namespace reporter
