#pragma once
// The report's screenshot: one capture at a time, taken before the report dialog opens, reduced to 8
// bits when first saved, written as PNG, and released at the end of the report. The core links no
// toolkit: the reporter's GUI part installs the screen access, and until it does no picture is taken.
#include "OBitmap.h"

#include <cstdint>
#include <string>

namespace reporter {

class TOstrelModuleOptions;
class TOstrelStream;

// SendFlags bit: capture the foreground window instead of the monitor nearest to it.
inline constexpr uint16_t ScreenshotWindowFlag = 0x20;

class IOstrelScreen {
public:
    virtual ~IOstrelScreen() = default;
    // Remembers the control that has the keyboard focus and the mouse cursor, as the exception found them.
    virtual void KeepCaptureInputs() = 0;
    // The foreground window (foregroundWindow) or the monitor nearest to it, with the focused control
    // framed in red and the kept cursor drawn in; an empty picture when nothing could be grabbed.
    virtual TRgbImage Capture(bool foregroundWindow) = 0;
};

// Installs the screen access (nullptr: none); the caller keeps it alive while installed.
void SetOstrelScreen(IOstrelScreen* screen);

void KeepCaptureInputs();
// Releases any earlier capture and takes a new one as SendFlags asks; true when a picture was taken. A
// failing grab leaves no capture instead of raising: the report goes on without a screenshot.
bool CaptureScreen(const TOstrelModuleOptions& options);
// Makes the picture the capture (an empty picture releases it); raises EImageError for an invalid one.
void SetScreenshot(TRgbImage image);
bool HasScreenshot();

// Writes the capture as PNG into a memory stream and saves it to the file; nothing happens for an empty
// name or without a capture. True when the file was written; raises EFileError when it cannot be.
bool SaveScreenshot(const std::string& fileName);
// Reduces the capture to 8 bits (once: the reduced picture replaces it) and writes it as PNG. Without a
// capture it raises EImageError.
void SavePNG(TOstrelStream& stream);
void FreeScreenshot();

} // namespace reporter
