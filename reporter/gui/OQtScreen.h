#pragma once
// The reporter core's screen access through the toolkit. The core may ask from any thread; the work is
// done on the GUI thread, and a GUI thread that does not answer in time (frozen, or waiting for the
// asking thread) gives no picture instead of a hang.
#include "OScreenshot.h"
#include "reporter/gui/OScreenCapture.h"

#include <chrono>
#include <mutex>
#include <string>

namespace reporter {

class TQtOstrelScreen final : public IOstrelScreen {
public:
    explicit TQtOstrelScreen(std::chrono::milliseconds guiWait = std::chrono::seconds(5),
                             TScreenGrab grab = GrabScreenArea);

    void KeepCaptureInputs() override;
    TRgbImage Capture(bool foregroundWindow) override;
    // The helper process that takes the picture when the GUI thread cannot (default: the program's
    // own file; useHelper false: none).
    void SetHelper(bool useHelper, std::string program = std::string()) {
        m_useHelper = useHelper;
        m_helperProgram = std::move(program);
    }

private:
    bool m_useHelper = true;
    std::string m_helperProgram;
    std::chrono::milliseconds m_guiWait;
    TScreenGrab m_grab;
    std::mutex m_lock;
    TCaptureInputs m_inputs;
};

} // namespace reporter
