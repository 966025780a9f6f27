#pragma once
// TCalibrationPanel: the hidden calibration box (gbCalibration) of the main window. The key "g" opens
// it for the selected analog device; an access code uncovers its buttons (and the Log button); each
// button asks the technician to confirm the input or output condition and sends the matching
// calibration coil with the store command through Send Config.
#include <QObject>

namespace Ui {
class TFormMain;
}
class TFormMain;
class TRemoteIO;

class TCalibrationPanel : public QObject {
    Q_OBJECT

public:
    // The access code that uncovers the calibration buttons; compared exactly.
    static constexpr const char* AccessCode = "quillnet";

    // What the six buttons calibrate.
    enum class TCalibrationCommand { C0Zero, C0Max, C1Zero, C1Max, Output1, Output2 };
    // Whether the device has the channels the command calibrates: the inputs C0 and C1 (C1 is
    // calibrated together with analog outputs only) or the output.
    static bool CanCalibrate(const TRemoteIO& device, TCalibrationCommand command);

    // Binds the box's buttons and the key presses of the form, the tree and the diagnostics button.
    explicit TCalibrationPanel(TFormMain* form);

    // A character typed on the form, the tree or the diagnostics button.
    void FormKeyPress(QChar key);
    void btOKClick();
    void btCloseClick();
    void btCalibrationZeroClick();
    void btCalibrationMaxClick();
    void btCalibrationC1ZeroClick();
    void btCalibrationC1MaxClick();
    void btCalibrateAnalogicC0OutClick();
    void btCalibrateAnalogicC1OutClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Locked: the code panel shows and the buttons and the calibration bar are hidden; unlocked: the
    // reverse.
    void SetLocked(bool locked);
    // Prompt, send, end message; the calibration state was set by the caller.
    void Calibrate(TCalibrationCommand command, const char* prompt);

    TFormMain* m_form;
    Ui::TFormMain& m_ui;
};
